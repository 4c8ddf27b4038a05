// The status vector that throws by itself: the client's whole text arrives in the Error, however
// long, and a vector is clean again for the next call.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>
#include <vector>

#include "common/cp1252.h"
#include "db/connection.h"
#include "db/fb_client.h"
#include "db_fixture.h"
#include "support/error_of.h"
#include "support/qt_print.h"

namespace zavelo::db::fb {
namespace {

class FbStatusTest : public ::testing::Test {
 protected:
  // A vector of one isc_random error per line, each carrying its text as its argument.
  static std::vector<intptr_t> vectorOf(const QList<QByteArray>& lines) {
    std::vector<intptr_t> vector;
    for (const QByteArray& line : lines) {
      vector.insert(vector.end(), {isc_arg_gds, isc_random, isc_arg_string,
                                   reinterpret_cast<intptr_t>(line.constData())});
    }
    vector.push_back(isc_arg_end);
    return vector;
  }

  // What the client makes of the lines, formatted into a buffer far larger than any of them.
  QString formattedByTheClient(const QList<QByteArray>& lines) const {
    const std::vector<intptr_t> vector = vectorOf(lines);
    const Disposed<Firebird::IStatus> status(client.master->getStatus());
    status->setErrors(vector.data());
    QByteArray buffer(1 << 20, '\0');
    client.util->formatStatus(buffer.data(), unsigned(buffer.size()), status.get());
    return fromCp1252(QByteArrayView(buffer.constData(), qstrlen(buffer.constData())));
  }

  // Lines of 500 bytes (each line different) whose formatted text is exactly `length` long.
  QList<QByteArray> linesFormattedTo(qsizetype length) const {
    QList<QByteArray> lines;
    for (char c = 'a'; formattedByTheClient(lines).size() < length; ++c)
      lines.append(QByteArray(500, c));
    const qsizetype over = formattedByTheClient(lines).size() - length;
    lines.last().chop(over);
    return lines;
  }

  const Client& client = loadClient(defaultFbClientLibrary());
};

TEST_F(FbStatusTest, ErrorTextArrivesWholeWhateverItsLength) {
  // Around the first buffer's size (4 KiB) and well past it.
  for (const qsizetype length : {200, 4094, 4095, 4096, 4097, 8192, 70000}) {
    const QList<QByteArray> lines = linesFormattedTo(length);
    const QString expected = formattedByTheClient(lines);
    ASSERT_EQ(expected.size(), length) << "the case's lines do not format to its length";

    Status status(client);
    const std::vector<intptr_t> vector = vectorOf(lines);
    status.setErrors(vector.data());
    // Compared by size first: a failure then says how much arrived, not the whole text twice.
    EXPECT_EQ(status.text().size(), length);
    EXPECT_TRUE(status.text() == expected) << length;
    const std::optional<QString> error = test::errorOf([&] { Status::checkException(&status); });
    ASSERT_TRUE(error) << length;
    EXPECT_EQ(error->size(), length);
    EXPECT_TRUE(*error == expected) << length;
    // Thrown once: the vector is clean for the next call.
    EXPECT_EQ(status.getState(), 0u) << length;
    EXPECT_EQ(test::errorOf([&] { Status::checkException(&status); }), std::nullopt) << length;
  }
}

TEST_F(FbStatusTest, WarningsAloneDoNotThrow) {
  Status status(client);
  EXPECT_EQ(test::errorOf([&] { Status::checkException(&status); }), std::nullopt);
  // The vector points into the lines: they outlive it.
  const QList<QByteArray> lines{"only a warning"};
  const std::vector<intptr_t> vector = vectorOf(lines);
  status.setWarnings(vector.data());
  EXPECT_EQ(status.getState(), unsigned(Firebird::IStatus::STATE_WARNINGS));
  EXPECT_EQ(test::errorOf([&] { Status::checkException(&status); }), std::nullopt);
}

// A real one: the client names the database file it could not open, however long its path.
class FbLongErrorTest : public DbTest {};

TEST_P(FbLongErrorTest, ErrorOfTheClientLongerThan4KiBArrivesWhole) {
  const QByteArray path = test::serverPath(temp.path()) + "/" + QByteArray(3000, 'd') + "/" +
                          QByteArray(3000, 'e') + "/halvori.fdb";
  Connection connection;
  const test::FbLogin login = test::fbTestLogin();
  connection.params().setValue("Database", (server() ? test::fbServerHost() : "") + path);
  connection.params().setValue("User_Name", login.user);
  connection.params().setValue("Password", login.password);
  const std::optional<QString> error = test::errorOf([&] { connection.open(); });
  ASSERT_TRUE(error) << "opened a file that is not there";
  EXPECT_GT(error->size(), 6000);
  EXPECT_TRUE(error->contains("\"" + QString::fromUtf8(path) + "\""))
      << "the path is not there whole: " << error->left(200).toStdString() << "... "
      << error->size() << " characters";
}

INSTANTIATE_TEST_SUITE_P(Modes, FbLongErrorTest,
                         ::testing::Values(test::FbMode::Server, test::FbMode::Embedded), modeName);

}  // namespace
}  // namespace zavelo::db::fb
