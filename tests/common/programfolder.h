#pragma once
// A temporary program folder laid out like a new installation: an empty register file and the
// first password file (7402). Removed with everything in it when the object goes.
#include <QString>
#include <QTemporaryDir>

namespace hjtest {

class ProgramFolder {
  public:
    ProgramFolder();
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    // The path of a file in the folder.
    QString file(const QString& name) const;
    // Writes `bytes` as the whole file (clearing its attributes first).
    bool write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;

  private:
    QTemporaryDir dir_;
};

}  // namespace hjtest
