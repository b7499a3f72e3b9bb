// Links handed to the system's browser, and slots that must not let an exception out.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDialog>
#include <stdexcept>

#include "kyb/dialogs/ExternalLinks.h"
#include "kyb/dialogs/GuardedSlot.h"
#include "kyb/tests/BrowserRecorder.h"
#include "kyb/tests/DialogDriver.h"

namespace {

const char* const schemes[] = {"http", "https", "file", "javascript", "ftp", "mailto", "data"};

TEST(ExternalLinks, OnlyHttpAndHttpsReachTheBrowser)
{
    BrowserRecorder browser;
    for (const char* scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, &browser, "open");
    const struct {
        const char* url;
        bool opened;
    } cases[] = {
        {"https://www.belmo.example/signup", true}, {"http://www.belmo.example/", true},
        {"HTTPS://www.belmo.example/", true},       {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},             {"ftp://files.belmo.example/", false},
        {"mailto:someone@belmo.example", false},    {"data:text/html,<b>x</b>", false},
        {"", false},
    };
    for (const auto& c : cases) {
        browser.opened.clear();
        EXPECT_EQ(openExternalLink(QUrl(c.url)), c.opened) << c.url;
        EXPECT_EQ(browser.opened.size(), c.opened ? 1 : 0) << c.url;
    }
    for (const char* scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

TEST(GuardedSlot, FailuresAreShownInTheKestruneBox)
{
    QDialog parent;
    ktest::MessageBoxCloser boxes;
    bool ran = false;
    guardedSlot(&parent, [&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(boxes.boxes.isEmpty());

    guardedSlot(&parent, [] { throw std::runtime_error("Could not open the page \xc3\xa9"); });
    guardedSlot(&parent, [] { throw 42; });
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].title, "Kestrune");
    EXPECT_EQ(boxes.boxes[0].text, QString::fromUtf8("Could not open the page \xc3\xa9"));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.boxes[0].parent, &parent);
    EXPECT_EQ(boxes.boxes[1].text, "Unknown error");
}

}  // namespace

#include "moc_BrowserRecorder.cpp"
