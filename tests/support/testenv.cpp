#include "tests/support/testenv.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

#include "framework/config.h"

namespace margivo::test {

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value)
    : name_(name), hadValue_(qEnvironmentVariableIsSet(name)), oldValue_(qgetenv(name)) {
  if (value.isNull()) {
    qunsetenv(name);
  } else {
    qputenv(name, value);
  }
}

ScopedEnv::~ScopedEnv() {
  if (hadValue_) {
    qputenv(name_.constData(), oldValue_);
  } else {
    qunsetenv(name_.constData());
  }
}

TestConfigHome::TestConfigHome() : env_("XDG_CONFIG_HOME", QFile::encodeName(tmp_.path())) {
  if (!tmp_.isValid())
    ADD_FAILURE() << "cannot create a temporary directory: " << tmp_.errorString().toStdString();
#ifdef _WIN32
  iniPath_ = CaminhoArquivoConfig();
  const QFileInfo info(iniPath_);
  madeFolder_ = !info.absoluteDir().exists();
  if (info.exists()) {
    setAside_ = iniPath_ + QStringLiteral(".antes-do-teste");
    QFile::remove(setAside_);
    if (!QFile::rename(iniPath_, setAside_)) {
      ADD_FAILURE() << "cannot move " << iniPath_.toStdString() << " aside";
      setAside_.clear();
    }
  }
#endif
}

TestConfigHome::~TestConfigHome() {
#ifdef _WIN32
  QFile::setPermissions(iniPath_, QFile::ReadOwner | QFile::WriteOwner);
  QFile::remove(iniPath_);
  if (!setAside_.isEmpty()) QFile::rename(setAside_, iniPath_);
  if (madeFolder_) QDir().rmdir(QFileInfo(iniPath_).absolutePath());
#endif
}

QString TestConfigHome::dir() const { return tmp_.path(); }

QString TestConfigHome::iniPath() const {
#ifdef _WIN32
  return iniPath_;
#else
  return tmp_.path() + "/TempKZW/ConfigGadGet.Ini";
#endif
}

void TestConfigHome::writeIni(const QByteArray& bytes) const { writeFileBytes(iniPath(), bytes); }

void TestConfigHome::writeIniText(const QString& text) const { writeIni(text.toUtf8()); }

void TestConfigHome::writeIniFromData(const QString& relative) const {
  writeIni(readData(relative));
}

QByteArray TestConfigHome::readIni() const { return readFileBytes(iniPath()); }

bool TestConfigHome::iniExists() const { return QFileInfo(iniPath()).isFile(); }

QString dataPath(const QString& relative) {
  // This file lives in tests/support; the fixtures in tests/data.
  static const QString root =
      QFileInfo(QString::fromUtf8(__FILE__)).absoluteDir().absoluteFilePath("../data");
  return QDir::cleanPath(root + u'/' + relative);
}

QByteArray readData(const QString& relative) { return readFileBytes(dataPath(relative)); }

QByteArray readFileBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << path.toStdString() << ": "
                  << file.errorString().toStdString();
    return QByteArray();
  }
  return file.readAll();
}

void writeFileBytes(const QString& path, const QByteArray& bytes) {
  const QFileInfo info(path);
  if (!QDir().mkpath(info.absolutePath())) {
    ADD_FAILURE() << "cannot create directory " << info.absolutePath().toStdString();
    return;
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
      !file.flush()) {
    ADD_FAILURE() << "cannot write " << path.toStdString() << ": "
                  << file.errorString().toStdString();
  }
}

std::string showBytes(const QByteArray& bytes) {
  std::string out;
  for (const char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n\n";
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      out += "\\x" + QByteArray(1, c).toHex().toStdString();
    } else {
      out += c;
    }
  }
  return out;
}

#ifndef _WIN32
FailingFileWrites::FailingFileWrites() {
  getrlimit(RLIMIT_FSIZE, &oldLimit_);
  oldHandler_ = signal(SIGXFSZ, SIG_IGN);
  rlimit none = oldLimit_;
  none.rlim_cur = 0;
  setrlimit(RLIMIT_FSIZE, &none);
}

FailingFileWrites::~FailingFileWrites() {
  setrlimit(RLIMIT_FSIZE, &oldLimit_);
  signal(SIGXFSZ, oldHandler_);
}
#endif

}  // namespace margivo::test
