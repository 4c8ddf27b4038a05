// The program's three kinds of box: each is shown for real (offscreen), looked at, and closed
// with its OK button by a timer, so no test waits on a user.
#include "app/message_box_notifier.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <functional>

#include "support/qt_print.h"

namespace zavelo {
namespace {

struct SeenBox {
  bool found = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title;
  QString text;
  QStringList buttons;
  bool modal = false;
  bool hasParent = false;
  QWidget* parent = nullptr;
  QPoint centre;
  QPoint screenCentre;
  Qt::TextFormat format = Qt::AutoText;
};

// Shows a box through show(), records the box while it is up and presses its OK button.
SeenBox look(const std::function<void()>& show) {
  SeenBox seen;
  int tries = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      if (++tries > 200) ADD_FAILURE() << "no box came up";
      return;
    }
    poll.stop();
    seen.found = true;
    seen.icon = box->icon();
    seen.title = box->windowTitle();
    seen.text = box->text();
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    seen.modal = box->windowModality() == Qt::ApplicationModal;
    seen.hasParent = box->parentWidget() != nullptr;
    seen.parent = box->parentWidget();
    seen.centre = box->frameGeometry().center();
    seen.screenCentre = box->screen()->availableGeometry().center();
    seen.format = box->textFormat();
    box->button(QMessageBox::Ok)->click();
  });
  poll.start(10);
  show();
  return seen;
}

struct Case {
  const char* name;
  std::function<void(Notifier&)> show;
  QMessageBox::Icon icon;
  QString title;
};

TEST(MessageBoxNotifier, EachKindHasItsIconTitleAndOneOkButton) {
  const Case cases[] = {
      {"errorReport", [](Notifier& n) { n.errorReport("Zadirod", "Range check error."); },
       QMessageBox::Critical, "Zadirod"},
      {"notice", [](Notifier& n) { n.notice("Zadirod", "Range check error."); },
       QMessageBox::NoIcon, "Zadirod"},
      {"errorBox", [](Notifier& n) { n.errorBox("Error", "Range check error."); },
       QMessageBox::Critical, "Error"},
  };
  MessageBoxNotifier notifier;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SeenBox seen = look([&] { c.show(notifier); });
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.icon, c.icon);
    EXPECT_EQ(seen.title, c.title);
    EXPECT_EQ(seen.text, "Range check error.");
    EXPECT_EQ(seen.buttons, QStringList({"OK"}));
    EXPECT_TRUE(seen.modal);
    // No window is open: the box has no parent, and it is centred on the screen.
    EXPECT_FALSE(seen.hasParent);
    EXPECT_LE((seen.centre - seen.screenCentre).manhattanLength(), 2);
  }
}

// With a window of the program open, the box belongs to it (no task-bar button of its own, and
// it stays above it) and is still centred on the screen, not on that window.
TEST(MessageBoxNotifier, ABoxBelongsToTheOpenWindowAndIsCentredOnTheScreen) {
  QWidget window;
  window.setGeometry(10, 10, 200, 100);
  window.show();
  MessageBoxNotifier notifier;
  const SeenBox seen = look([&] { notifier.notice("Zadirod", "Preparando"); });
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.parent, &window);
  EXPECT_LE((seen.centre - seen.screenCentre).manhattanLength(), 2)
      << "box centre " << seen.centre.x() << "," << seen.centre.y();
}

TEST(MessageBoxNotifier, TextIsShownAsPlainText) {
  // An error text from the database may hold "<" and "&": it is not read as markup.
  MessageBoxNotifier notifier;
  const SeenBox seen = look([&] { notifier.errorReport("Zadirod", "a <b>x</b> & y"); });
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.text, "a <b>x</b> & y");
  EXPECT_EQ(seen.format, Qt::PlainText);
}

}  // namespace
}  // namespace zavelo
