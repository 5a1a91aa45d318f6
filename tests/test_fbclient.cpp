// The Firebird client library loaded at run time: the names it is looked
// for under, in order, and the message when none of them serves. Every case
// is a real load attempt through the system's loader.
#include "framework/db/fbclient.h"

#include <firebird/Interface.h>
#include <gtest/gtest.h>

namespace margivo {
namespace {

// A name no library has, and a library every system has that is no client.
#ifdef _WIN32
const QString kMissing = QStringLiteral("margivo-sem-cliente.dll");
const QString kNotAClient = QStringLiteral("kernel32.dll");
#else
const QString kMissing = QStringLiteral("libmargivo-sem-cliente.so.9");
const QString kNotAClient = QStringLiteral("libm.so.6");
#endif

// What the user reads names every library looked for, says what to do, and
// keeps the system's own reasons apart, one line per library.
TEST(FirebirdClient, MissingLibraryIsNamedInTheMessage) {
  try {
    loadFirebirdClient({kMissing});
    FAIL() << "no error";
  } catch (const ClientLibraryError& e) {
    const QString text = e.message();
    EXPECT_TRUE(text.startsWith(
        QStringLiteral("Não foi possível carregar a biblioteca cliente do Firebird (%1). "
                       "Instale o cliente do Firebird usado pelo ERP")
            .arg(kMissing)))
        << text.toStdString();
    EXPECT_EQ(e.libraries(), QStringList{kMissing});
    EXPECT_TRUE(e.details().startsWith(kMissing + u':')) << e.details().toStdString();
    EXPECT_GT(e.details().size(), kMissing.size() + 2) << "the system's reason";
    EXPECT_FALSE(text.contains(e.details())) << "the system's text stays in the details";
  }
}

// A library that loads but is no Firebird 3 client (an old gds32.dll, say)
// is passed over with a reason of its own; the message names every name in
// the order they were tried.
TEST(FirebirdClient, LibraryWithoutTheEntryPointIsPassedOver) {
  const QStringList names = {kMissing, kNotAClient};
  try {
    loadFirebirdClient(names);
    FAIL() << "no error";
  } catch (const ClientLibraryError& e) {
    EXPECT_TRUE(e.message().contains(u'(' + kMissing + QStringLiteral(", ") + kNotAClient + u')'))
        << e.message().toStdString();
    EXPECT_TRUE(dynamic_cast<const DatabaseError*>(&e) != nullptr);
    const QStringList lines = e.details().split(u'\n');
    ASSERT_EQ(lines.size(), 2) << e.details().toStdString();
    EXPECT_TRUE(lines[0].startsWith(names[0] + u':')) << lines[0].toStdString();
    EXPECT_EQ(lines[1], kNotAClient + QStringLiteral(": a biblioteca não tem "
                                                     "fb_get_master_interface (cliente anterior "
                                                     "ao Firebird 3)"));
  }
}

#ifdef _WIN32
// Without a client installed (Wine here has none), the program's own
// look-up names fbclient.dll and then gds32.dll, each with the system's
// reason.
TEST(FirebirdClient, WindowsLooksForFbclientThenGds32) {
  try {
    firebirdMaster();
    GTEST_SKIP() << "a Firebird client is installed on this system";
  } catch (const ClientLibraryError& e) {
    EXPECT_EQ(e.message().toStdString(),
              "Não foi possível carregar a biblioteca cliente do Firebird (fbclient.dll, "
              "gds32.dll). Instale o cliente do Firebird usado pelo ERP, na versão de 64 bits.");
    const QStringList lines = e.details().split(u'\n');
    ASSERT_EQ(lines.size(), 2) << e.details().toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("fbclient.dll: "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("gds32.dll: "))) << lines[1].toStdString();
  }
}
#else

// The first name that serves wins: a missing first choice falls back to the
// next, as gds32.dll stands in for fbclient.dll on Windows. The client is the
// same library the program's own connections use.
TEST(FirebirdClient, FallsBackToTheNextName) {
  Firebird::IMaster* master = nullptr;
  ASSERT_NO_THROW(
      master = loadFirebirdClient({kMissing, kNotAClient, QStringLiteral("libfbclient.so.2")}));
  ASSERT_NE(master, nullptr);
  EXPECT_EQ(master, firebirdMaster());
  EXPECT_NE(master->getUtilInterface(), nullptr);
  EXPECT_GE(master->getUtilInterface()->getClientVersion(), 0x0300) << "Firebird 3 or newer";
}
#endif

}  // namespace
}  // namespace margivo
