// The settings file layer: Windows profile semantics, bytes kept as found,
// encodings, and saves that fail without losing the old file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <utime.h>
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <string>
#include <utility>
#include <vector>

#include "framework/inifile.h"
#include "tests/support/testenv.h"

namespace margivo {
namespace {

using KeyValues = std::vector<std::pair<QString, QString>>;

// The line ending of a file that has none yet: the platform's.
#ifdef _WIN32
const QByteArray kNewFileEol = "\r\n";
#else
const QByteArray kNewFileEol = "\n";
#endif
using test::readData;
using test::readFileBytes;
using test::writeFileBytes;

class IniFileTest : public ::testing::Test {
 protected:
  QString path() const { return dir_.path() + "/ConfigGadGet.Ini"; }
  void write(const QByteArray& bytes) const { writeFileBytes(path(), bytes); }
  void writeFixture(const char* name) const { write(readData(QStringLiteral("ini/") + name)); }
  QByteArray bytes() const { return readFileBytes(path()); }
  // Names of everything in the directory, to see that no temporary file stays.
  QStringList directoryEntries() const {
    return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  QTemporaryDir dir_;
};

TEST_F(IniFileTest, ReadsLikeWindowsProfileFiles) {
  writeFixture("reading.ini");
  const IniFile ini(path());
  struct Case {
    const char* section;
    const char* key;
    QString expected;
  };
  const Case cases[] = {
      {"Configuracoes", "LocRem", "R"},
      {"configuracoes", "servidor", "srvloja"},  // case and blanks around name and value
      {"CONFIGURACOES", "CaminhoBanco", "C:\\Dados\\ERP.GDB"},
      {"Configuracoes", "Usuario", "SYSDBA"},        // one pair of quotes stripped
      {"Configuracoes", "Senha", "master key"},      // single quotes too
      {"Configuracoes", "Aspas", "\"only opening"},  // unmatched quote kept
      {"Configuracoes", "Vazia", ""},                // only blanks
      {"Configuracoes", "Filial", "01"},             // commented lines skipped, first line wins
      {"Configuracoes", "SemIgual", ""},             // a line without '=' is no key
      {"Configuracoes", "Igual", "=a=b"},            // the first '=' separates
      {"Configuracoes", "Falta", ""},                // missing key
      {"Configuracoes", "Empresa", ""},              // key of another section
      {"Trovesk", "Empresa", "05"},                  // "[ trovesk ]": blanks and case
      {"Trovesk", "Periodo", "2 ; not a comment"},   // no comments after values
      {"Trovesk", "Extra", ""},                      // a repeated section is not read
      {"Nenhuma", "LocRem", ""},                     // missing section
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(ini.readString(c.section, c.key), c.expected);
  }
  EXPECT_EQ(ini.readStrings("TROVESK", {"Periodo", "Falta", "Empresa"}),
            QStringList({"2 ; not a comment", "", "05"}));
}

TEST_F(IniFileTest, MissingFileReadsEmpty) {
  const IniFile ini(path());
  EXPECT_FALSE(ini.exists());
  EXPECT_EQ(ini.readString("Configuracoes", "LocRem"), QString());
  EXPECT_TRUE(ini.lines().isEmpty());
  EXPECT_FALSE(QFileInfo::exists(path()));
}

// Every write of this table shows the whole file before and after.
TEST_F(IniFileTest, WritesInPlaceOrAppendsKeepingEveryOtherByte) {
  struct Case {
    const char* name;
    QByteArray before;
    const char* section;
    KeyValues values;
    QByteArray after;
  };
  const Case cases[] = {
      {"replace keeps the key's spelling and spacing",
       "[S]\nkey = old\nOther=1\n",
       "s",
       {{"KEY", "new"}},
       "[S]\nkey = new\nOther=1\n"},
      {"a blank value is replaced right after '='",
       "[S]\nK=   \n",
       "S",
       {{"K", "0"}},
       "[S]\nK=0\n"},
      {"an empty value leaves no blanks behind", "[S]\nK = 5\n", "S", {{"K", ""}}, "[S]\nK =\n"},
      {"a value that reads the same keeps its line",
       "[S]\n  K =  5  \nQ=\"abc\"\n",
       "S",
       {{"K", "5"}, {"Q", "abc"}},
       "[S]\n  K =  5  \nQ=\"abc\"\n"},
      {"new key after the last key, not after blank lines or the next comment",
       "[S]\nA=1\n\n; about T\n[T]\nB=2\n",
       "S",
       {{"C", "3"}},
       "[S]\nA=1\nC=3\n\n; about T\n[T]\nB=2\n"},
      {"section without keys: after its header and the comment below it",
       "[S]\n; about S\n\n[T]\n",
       "S",
       {{"A", "1"}},
       "[S]\n; about S\nA=1\n\n[T]\n"},
      {"missing section appended at the end, keys in the given order",
       "[T]\nB=2\n",
       "S",
       {{"Z", "1"}, {"A", "2"}},
       "[T]\nB=2\n[S]\nZ=1\nA=2\n"},
      {"empty file", "", "S", {{"A", "1"}}, "[S]" + kNewFileEol + "A=1" + kNewFileEol},
      {"file ending in a comment without newline",
       "[S]\nA=1\n; end",
       "T",
       {{"B", "1"}},
       "[S]\nA=1\n; end\n[T]\nB=1\n"},
      {"existing and new keys mixed, one key named twice",
       "[S]\nA=1\nB=2\n",
       "S",
       {{"B", "5"}, {"C", "6"}, {"a", "7"}},
       "[S]\nA=7\nB=5\nC=6\n"},
      {"only the first of repeated sections is written",
       "[S]\nA=1\n[s]\nA=9\nB=9\n",
       "S",
       {{"A", "2"}, {"B", "3"}},
       "[S]\nA=2\nB=3\n[s]\nA=9\nB=9\n"},
      {"a commented key is not replaced", "[S]\n;A=1\n", "S", {{"A", "2"}}, "[S]\n;A=1\nA=2\n"},
      {"the same key in another section is not touched",
       "[A]\nK=1\n[B]\n",
       "B",
       {{"K", "2"}},
       "[A]\nK=1\n[B]\nK=2\n"},
      {"UTF-8 without BOM stays so",
       "[S]\nA=S\xC3\xA3o\n",
       "S",
       {{"B", "A\u00E7\u00E3o"}},
       "[S]\nA=S\xC3\xA3o\nB=A\xC3\xA7\xC3\xA3o\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write(c.before);
    IniFile(path()).writeStrings(c.section, c.values);
    EXPECT_BYTES(c.after, bytes());
  }
}

TEST_F(IniFileTest, FileWithoutFinalNewline) {
  struct Case {
    const char* name;
    const char* section;
    const char* key;
    const char* value;
    QByteArray after;
  };
  const Case cases[] = {
      {"replacing the last line keeps it without newline", "Trovesk", "Empresa", "02",
       "[Trovesk]\nEmpresa=02"},
      {"a key appended after it", "Trovesk", "PosX", "1", "[Trovesk]\nEmpresa=01\nPosX=1\n"},
      {"a section appended after it", "Novo", "K", "v", "[Trovesk]\nEmpresa=01\n[Novo]\nK=v\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFixture("no_final_newline.ini");
    IniFile(path()).writeString(c.section, c.key, c.value);
    EXPECT_BYTES(c.after, bytes());
  }
}

TEST_F(IniFileTest, CrlfFileWithCommentsKeepsItsBytes) {
  writeFixture("withcomments_crlf.ini");
  IniFile(path()).writeStrings("TROVESK", {{"PosX", "300"}, {"PosY", "80"}, {"Nova", "1"}});
  const QByteArray expected =
      "; Settings shared by the gadgets\r\n"
      "[Configuracoes]\r\n"
      "LocRem = R\r\n"
      "CaminhoBanco=C:\\ERP\\DADOS.GDB\r\n"
      "\r\n"
      "[Trovesk]\r\n"
      "; position of the panel\r\n"
      "PosX = 300\r\n"
      "posy=80\r\n"
      "Desconhecida=  fica assim  \r\n"
      "Nova=1\r\n"
      "\r\n"
      "; the next gadget\r\n"
      "[Outro]\r\n"
      "PosX=5\r\n";
  EXPECT_BYTES(expected, bytes());
  EXPECT_EQ(IniFile(path()).readString("outro", "posx"), "5");
}

#ifdef _WIN32
// On Windows a new file, and one of plain ASCII, take the encoding and line
// ending the ERP's tools write: ANSI (Windows-1252) and CRLF.
TEST_F(IniFileTest, MissingFileIsCreatedAsWindows1252WithCrlf) {
  IniFile ini(path());
  ini.writeStrings("Trovesk", {{"Empresa", "00"}, {"Cidade", "S\u00E3o Paulo"}});
  EXPECT_TRUE(ini.exists());
  EXPECT_BYTES("[Trovesk]\r\nEmpresa=00\r\nCidade=S\xE3o Paulo\r\n", bytes());
  EXPECT_EQ(ini.readString("Trovesk", "Cidade"), "S\u00E3o Paulo");
}

TEST_F(IniFileTest, PlainAsciiFileTakesWindows1252) {
  write("[Configuracoes]\r\nUsuario=SYSDBA\r\n");
  IniFile ini(path());
  ini.writeString("Configuracoes", "Filial", "S\u00E3o Paulo");
  EXPECT_BYTES("[Configuracoes]\r\nUsuario=SYSDBA\r\nFilial=S\xE3o Paulo\r\n", bytes());
  // A file some editor saved in UTF-8 keeps UTF-8.
  write("[Configuracoes]\r\nFilial=S\xC3\xA3o Paulo\r\n");
  ini.writeString("Configuracoes", "Servidor", "Jo\u00E3o");
  EXPECT_BYTES("[Configuracoes]\r\nFilial=S\xC3\xA3o Paulo\r\nServidor=Jo\xC3\xA3o\r\n", bytes());
}
#else
TEST_F(IniFileTest, MissingFileIsCreatedAsUtf8) {
  IniFile ini(path());
  ini.writeStrings("Trovesk", {{"Empresa", "00"}, {"Cidade", "S\u00E3o Paulo"}});
  EXPECT_TRUE(ini.exists());
  EXPECT_BYTES("[Trovesk]\nEmpresa=00\nCidade=S\xC3\xA3o Paulo\n", bytes());
}
#endif

TEST_F(IniFileTest, Windows1252FileIsReadAndWrittenInWindows1252) {
  writeFixture("windows1252.ini");
  IniFile ini(path());
  EXPECT_EQ(ini.readString("Configuracoes", "Filial"), "S\u00E3o Paulo");
  EXPECT_EQ(ini.readString("Configuracoes", "Servidor"), "Jo\u00E3o");
  EXPECT_EQ(ini.lines(), QStringList({"[Configuracoes]", "Filial=S\u00E3o Paulo",
                                      "Servidor=Jo\u00E3o", "[Trovesk]", "Empresa=01"}));

  ini.writeStrings("Trovesk", {{"Empresa", "\u20AC1"}, {"Cidade", "A\u00E7\u00E3o"}});
  EXPECT_BYTES(
      "[Configuracoes]\r\nFilial=S\xE3o Paulo\r\nServidor=Jo\xE3o\r\n"
      "[Trovesk]\r\nEmpresa=\x80"
      "1\r\nCidade=A\xE7\xE3o\r\n",
      bytes());
  EXPECT_EQ(ini.readString("Trovesk", "Cidade"), "A\u00E7\u00E3o");
}

TEST_F(IniFileTest, CharacterThatWindows1252CannotHoldIsRefused) {
  writeFixture("windows1252.ini");
  const QByteArray before = bytes();
  try {
    IniFile(path()).writeString("Trovesk", "Cidade", "\u0141\u00F3d\u017A");
    FAIL() << "expected IniFileError";
  } catch (const IniFileError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(path().toStdString()), std::string::npos) << message;
    EXPECT_NE(message.find("\"Cidade\""), std::string::npos) << message;
    EXPECT_NE(message.find("Windows-1252"), std::string::npos) << message;
  }
  EXPECT_BYTES(before, bytes());
}

TEST_F(IniFileTest, Utf8ByteOrderMarkIsKept) {
  writeFixture("utf8_bom.ini");
  IniFile ini(path());
  // The mark is no part of the first section's name.
  EXPECT_EQ(ini.readString("Configuracoes", "Filial"), "S\u00E3o Paulo");
  EXPECT_EQ(ini.lines().value(0), "[Configuracoes]");

  ini.writeStrings("Trovesk", {{"Empresa", "02"}, {"Cidade", "A\u00E7\u00E3o"}});
  EXPECT_BYTES(
      "\xEF\xBB\xBF[Configuracoes]\r\nFilial=S\xC3\xA3o Paulo\r\n"
      "[Trovesk]\r\nEmpresa=02\r\nCidade=A\xC3\xA7\xC3\xA3o\r\n",
      bytes());
}

TEST_F(IniFileTest, Utf16FileIsRefusedNotMisread) {
  writeFixture("utf16.ini");
  const QByteArray before = bytes();
  IniFile ini(path());
  EXPECT_THROW(ini.readString("Configuracoes", "Filial"), IniFileError);
  try {
    ini.writeString("Trovesk", "Empresa", "01");
    FAIL() << "expected IniFileError";
  } catch (const IniFileError& e) {
    EXPECT_NE(std::string(e.what()).find("UTF-16"), std::string::npos) << e.what();
  }
  EXPECT_BYTES(before, bytes());
}

// Names and values that would change the file's structure are refused before
// anything is written.
TEST_F(IniFileTest, NamesAndValuesThatWouldBreakTheFileAreRefused) {
  struct Case {
    const char* name;
    QString section;
    QString key;
    QString value;
    const char* reason;
  };
  const Case cases[] = {
      {"value with LF", "Trovesk", "Empresa", "01\n[Configuracoes]", "line break"},
      {"value with CR", "Trovesk", "Empresa", "01\rSenha=x", "line break"},
      {"key with '='", "Trovesk", "Senha=x", "1", "invalid key name"},
      {"empty key", "Trovesk", "", "1", "empty key name"},
      {"key opening a section", "Trovesk", "[Configuracoes", "1", "invalid key name"},
      {"key as a comment", "Trovesk", ";Empresa", "1", "invalid key name"},
      {"section with ']'", "Trovesk]x", "Empresa", "1", "invalid section name"},
      {"section with a line break", "Trovesk\nSenha=x", "Empresa", "1", "invalid section name"},
      {"empty section", "", "Empresa", "1", "empty section name"},
  };
  writeFixture("withcomments_crlf.ini");
  const QByteArray before = bytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      IniFile(path()).writeString(c.section, c.key, c.value);
      ADD_FAILURE() << "expected IniFileError";
    } catch (const IniFileError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("cannot write settings file " + path().toStdString() + ": ", 0), 0u)
          << message;
      EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    }
    EXPECT_BYTES(before, bytes());
  }
}

// A read-only file stops the save even for root, whom the permission bits
// would not stop, as the read-only attribute does on Windows.
TEST_F(IniFileTest, ReadOnlyFileIsNotReplaced) {
  writeFixture("withcomments_crlf.ini");
  const QByteArray before = bytes();
  ASSERT_EQ(chmod(QFile::encodeName(path()).constData(), 0444), 0);
  IniFile ini(path());
  try {
    ini.writeString("Trovesk", "PosX", "1");
    FAIL() << "expected IniFileError";
  } catch (const IniFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "cannot write settings file " + path().toStdString() + ": the file is read-only");
  }
  EXPECT_BYTES(before, bytes());
  EXPECT_EQ(ini.readString("Trovesk", "PosX"), "120");
  EXPECT_EQ(directoryEntries(), QStringList({"ConfigGadGet.Ini"}));
}

#ifdef _WIN32
// A file that another program holds open for reading and denies to writers
// (as the ERP's settings tool may, while it shows the file) cannot be
// replaced: the save fails naming the file, which keeps its bytes, and no
// temporary file stays.
TEST_F(IniFileTest, FileHeldOpenByAnotherProgramIsNotReplaced) {
  writeFixture("withcomments_crlf.ini");
  const QByteArray before = bytes();
  const std::wstring nome = QDir::toNativeSeparators(path()).toStdWString();
  HANDLE aberto = CreateFileW(nome.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(aberto, INVALID_HANDLE_VALUE);
  std::string message;
  try {
    IniFile(path()).writeStrings("Trovesk", {{"PosX", "1"}, {"PosY", "2"}});
  } catch (const IniFileError& e) {
    message = e.what();
  }
  CloseHandle(aberto);
  EXPECT_EQ(message.rfind("cannot write settings file " + path().toStdString() + ": ", 0), 0u)
      << message;
  EXPECT_BYTES(before, bytes());
  EXPECT_EQ(directoryEntries(), QStringList({"ConfigGadGet.Ini"}));
}
#else
// A write whose values the file already holds (spelt with other case, blanks
// or quotes included) leaves the file alone: same bytes, same modification
// time, no temporary file, and no error even when the file is read-only.
TEST_F(IniFileTest, WriteThatChangesNothingLeavesTheFileAlone) {
  writeFixture("withcomments_crlf.ini");
  const QByteArray before = bytes();
  const QByteArray name = QFile::encodeName(path());
  const utimbuf old{1000000000, 1000000000};
  ASSERT_EQ(utime(name.constData(), &old), 0);
  const auto modified = [&] {
    struct stat st {};
    EXPECT_EQ(stat(name.constData(), &st), 0);
    return st.st_mtime;
  };
  IniFile ini(path());
  for (const mode_t mode : {0644, 0444}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(chmod(name.constData(), mode), 0);
    ini.writeStrings("trovesk", {{"posx", "120"}, {"PosY", "80"}, {"Desconhecida", "fica assim"}});
    ini.writeString("Configuracoes", "LocRem", "R");
    EXPECT_BYTES(before, bytes());
    EXPECT_EQ(modified(), old.modtime);
    EXPECT_EQ(directoryEntries(), QStringList({"ConfigGadGet.Ini"}));
  }
  // One value that differs is a write like any other.
  ASSERT_EQ(chmod(name.constData(), 0644), 0);
  ini.writeStrings("Trovesk", {{"PosX", "120"}, {"PosY", "81"}});
  EXPECT_NE(modified(), old.modtime);
  EXPECT_EQ(ini.readString("Trovesk", "PosY"), "81");
}

// A write that fails half way (here: the file size limit, which stops root
// too, as a full disk would) leaves the old file whole and no temporary file.
TEST_F(IniFileTest, FailedWriteKeepsTheOldFile) {
  writeFixture("withcomments_crlf.ini");
  const QByteArray before = bytes();
  IniFile ini(path());
  std::string message;
  {
    test::FailingFileWrites failing;
    try {
      ini.writeStrings("Trovesk", {{"PosX", "1"}, {"PosY", "2"}});
    } catch (const IniFileError& e) {
      message = e.what();
    }
  }
  EXPECT_EQ(message, "cannot write settings file " + path().toStdString() + ": File too large");
  EXPECT_BYTES(before, bytes());
  EXPECT_EQ(directoryEntries(), QStringList({"ConfigGadGet.Ini"}));
}
#endif

TEST_F(IniFileTest, FailuresOfThePathNameTheFile) {
  // The directory is never created: the settings tool owns the file.
  const QString missingDir = dir_.path() + "/TempKZW/ConfigGadGet.Ini";
  try {
    IniFile(missingDir).writeString("Trovesk", "PosX", "1");
    ADD_FAILURE() << "expected IniFileError";
  } catch (const IniFileError& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind("cannot write settings file " + missingDir.toStdString(), 0),
        0u)
        << e.what();
  }
  EXPECT_FALSE(QFileInfo::exists(dir_.path() + "/TempKZW"));

  // A directory in the file's place can be neither read nor replaced.
  ASSERT_TRUE(QDir().mkpath(path()));
  IniFile ini(path());
  EXPECT_FALSE(ini.exists());
  try {
    ini.readString("Trovesk", "PosX");
    ADD_FAILURE() << "expected IniFileError";
  } catch (const IniFileError& e) {
    EXPECT_EQ(std::string(e.what()),
              "cannot read settings file " + path().toStdString() + ": it is a directory");
  }
  EXPECT_THROW(ini.writeString("Trovesk", "PosX", "1"), IniFileError);
  EXPECT_TRUE(QFileInfo(path()).isDir());
}

#ifndef _WIN32
// The file holds the database password: a save must not widen who can read it.
TEST_F(IniFileTest, SaveKeepsTheFilePermissions) {
  writeFixture("withcomments_crlf.ini");
  ASSERT_EQ(chmod(QFile::encodeName(path()).constData(), 0600), 0);
  IniFile(path()).writeString("Trovesk", "PosX", "1");
  struct stat st {};
  ASSERT_EQ(stat(QFile::encodeName(path()).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(IniFile(path()).readString("Trovesk", "PosX"), "1");
}
#endif

}  // namespace
}  // namespace margivo
