// Test environment helpers: environment variables set for one test, a private
// settings home where TConfig finds its file, the fixture files under
// tests/data, and a seam that makes file writes fail for real.
#pragma once

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <string>

namespace margivo::test {

// Sets (or, with a null value, unsets) an environment variable for the life
// of the object, then restores what was there before.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QByteArray& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  QByteArray name_;
  bool hadValue_;
  QByteArray oldValue_;
};

// A fresh, empty temporary directory set as XDG_CONFIG_HOME for the life of
// the object, so that CaminhoArquivoConfig() and TConfig point into it. The
// settings file is not created until a test writes it. The directory is
// removed and XDG_CONFIG_HOME restored afterwards.
//
// On Windows the settings file has one fixed place, C:\TempKZW\ConfigGadGet.Ini,
// and iniPath() is that place: a file found there is moved aside for the life
// of the object and put back afterwards, and the folder is removed again when
// this object had to create it.
class TestConfigHome {
 public:
  TestConfigHome();
  ~TestConfigHome();
  TestConfigHome(const TestConfigHome&) = delete;
  TestConfigHome& operator=(const TestConfigHome&) = delete;

  // The directory set as XDG_CONFIG_HOME.
  QString dir() const;
  // <dir>/TempKZW/ConfigGadGet.Ini (C:\TempKZW\ConfigGadGet.Ini on Windows),
  // where TConfig looks for its file.
  QString iniPath() const;

  // Writes the settings file with exactly these bytes (creating TempKZW).
  void writeIni(const QByteArray& bytes) const;
  // Writes the settings file from text, encoded as UTF-8 without BOM.
  void writeIniText(const QString& text) const;
  // Writes the settings file from a fixture, tests/data/<relative>.
  void writeIniFromData(const QString& relative) const;
  // The settings file's bytes as they are on disk; fails the test when the
  // file cannot be read.
  QByteArray readIni() const;
  bool iniExists() const;

 private:
  QTemporaryDir tmp_;
  ScopedEnv env_;
#ifdef _WIN32
  QString iniPath_;
  QString setAside_;  // where a file found at iniPath_ waits; empty when none was
  bool madeFolder_ = false;
#endif
};

// Absolute path of tests/data/<relative> in the source tree.
QString dataPath(const QString& relative);
// The bytes of tests/data/<relative>; fails the test when it cannot be read.
QByteArray readData(const QString& relative);
// The bytes of any file; empty (and a test failure) when it cannot be read.
QByteArray readFileBytes(const QString& path);
// Writes exactly `bytes` to `path`, creating missing directories.
void writeFileBytes(const QString& path, const QByteArray& bytes);

// Bytes as readable text for a failure message: CR as "\r", LF as "\n" and
// a line break, bytes above 0x7F as "\xNN".
std::string showBytes(const QByteArray& bytes);

// Compares file contents byte for byte and, when they differ, prints both
// line by line with their line endings and encoded characters visible.
#define EXPECT_BYTES(expected, actual) \
  EXPECT_EQ(::margivo::test::showBytes(expected), ::margivo::test::showBytes(actual))

#ifndef _WIN32
// While alive, every write that would grow a regular file fails with EFBIG
// ("File too large"), for root as well: the process's file size limit is set
// to zero and SIGXFSZ ignored, both restored at the end. A real I/O failure,
// like a full disk, that no permission can bypass. Keep the scope to the call
// under test: gtest's own output to a file would fail inside it too.
class FailingFileWrites {
 public:
  FailingFileWrites();
  ~FailingFileWrites();
  FailingFileWrites(const FailingFileWrites&) = delete;
  FailingFileWrites& operator=(const FailingFileWrites&) = delete;

 private:
  rlimit oldLimit_;
  void (*oldHandler_)(int);
};
#endif

}  // namespace margivo::test
