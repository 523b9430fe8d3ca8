#pragma once
// The password file: the login password's GB18030 bytes enciphered with RC4 under a fixed key,
// 4 to 16 bytes, no header. Qt Core only, so the install step can write the first file.
#include <QString>
#include <string>
#include <string_view>

namespace shell {

// The standard RC4 stream cipher: `data` XOR the keystream of `key`, from its first byte.
// Enciphering and deciphering are the same operation.
std::string rc4(std::string_view key, std::string_view data);

// Password text (GB18030 bytes) to file bytes; the result has exactly as many bytes.
std::string encodePassword(std::string_view password);
// File bytes to password text: the deciphered bytes up to the first zero byte.
std::string decodePassword(std::string_view fileBytes);

// A file of 4 to 16 bytes; any other length is a damaged file.
constexpr int kMinPasswordBytes = 4;
constexpr int kMaxPasswordBytes = 16;

// The whole password file; a missing or unreadable file reads as no bytes. A file far beyond
// the size limit is not read whole: its length already says it is damaged.
std::string readPasswordFile(const QString& path);
// Replaces the password file with the encoded password. The new content goes to a temporary
// file first and is renamed over the old one, so a failed write leaves the old password in
// place. True when the new file is on disk.
bool writePasswordFile(const QString& path, std::string_view password);

// The installer's password, written only when the folder has no password file yet.
inline constexpr char kFirstPassword[] = "7402";
bool createPasswordFileIfMissing(const QString& folder);

// The login's check of `typed` against the password file of `folder`: the warning it shows
// (missing file, damaged file, nothing typed, wrong password), or an empty text when the
// password is right. The idle lock asks the same way.
QString passwordRefusal(const QString& folder, const QString& typed);
// Whether the password file still holds the installer's password.
bool stillFirstPassword(const QString& folder);

}  // namespace shell
