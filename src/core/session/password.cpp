#include "core/session/password.h"

#include <QFile>
#include <array>

#include "core/register/files.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

namespace shell {

namespace {

constexpr std::string_view kKey = "qmwrkfpbtnsjvhcxdlgzae";

// Reading more than this tells the size check everything it needs.
constexpr qint64 kReadLimit = 4096;

}  // namespace

std::string rc4(std::string_view key, std::string_view data) {
    std::string out(data);
    if (key.empty()) return out;
    std::array<unsigned char, 256> s;
    for (int i = 0; i < 256; ++i) s[size_t(i)] = static_cast<unsigned char>(i);
    unsigned j = 0;
    for (size_t i = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<unsigned char>(key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    unsigned a = 0, b = 0;
    for (char& c : out) {
        a = (a + 1) & 0xFF;
        b = (b + s[a]) & 0xFF;
        std::swap(s[a], s[b]);
        c = static_cast<char>(static_cast<unsigned char>(c) ^ s[(s[a] + s[b]) & 0xFF]);
    }
    return out;
}

std::string encodePassword(std::string_view password) {
    return rc4(kKey, password);
}

std::string decodePassword(std::string_view fileBytes) {
    std::string plain = rc4(kKey, fileBytes);
    if (auto zero = plain.find('\0'); zero != std::string::npos) plain.resize(zero);
    return plain;
}

std::string readPasswordFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.read(kReadLimit);
    return std::string(bytes.constData(), size_t(bytes.size()));
}

bool writePasswordFile(const QString& path, std::string_view password) {
    const std::string bytes = encodePassword(password);
    const QString tmp = reg::files::temporaryNameBeside(path);
    {
        QFile out(tmp);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
        // The key is fixed, so the file is as good as the password itself.
        out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const bool written =
            out.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()) && out.flush();
        out.close();
        if (!written) {
            QFile::remove(tmp);
            return false;
        }
    }
    if (!reg::files::syncFile(tmp) || !reg::files::move(tmp, path)) {
        QFile::remove(tmp);
        return false;
    }
    return true;
}

bool createPasswordFileIfMissing(const QString& folder) {
    const QString path = reg::pathIn(folder, reg::names::kPassword);
    if (reg::files::exists(path)) return false;
    if (!writePasswordFile(path, kFirstPassword)) return false;
    reg::files::setProtected(path);
    return true;
}

QString passwordRefusal(const QString& folder, const QString& typed) {
    const QString path = reg::pathIn(folder, reg::names::kPassword);
    const std::string password = decodePassword(readPasswordFile(path));
    reg::files::setCleared(path);
    if (!reg::files::exists(path))
        return QStringLiteral("缺少文件！请备份<户籍数据.wav>然后运行安装程序！");
    const int64_t size = reg::files::size(path);
    reg::files::setProtected(path);
    if (size < kMinPasswordBytes || size > kMaxPasswordBytes)
        return QStringLiteral("文件损坏！请备份<户籍数据.wav>然后运行安装程序！");
    if (typed.isEmpty()) return QStringLiteral("请输入密码！");
    if (reg::toGb(typed) != password) return QStringLiteral("密码错误！");
    return {};
}

bool stillFirstPassword(const QString& folder) {
    return decodePassword(readPasswordFile(reg::pathIn(folder, reg::names::kPassword))) ==
           kFirstPassword;
}

}  // namespace shell
