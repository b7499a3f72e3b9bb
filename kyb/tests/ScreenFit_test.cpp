// The windows larger than a small screen (the offscreen platform's 800 x 600, as 1280 x 800 at 150 % leaves
// 853 x 533) open whole on it, at their design size as far as the screen allows.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <functional>
#include <memory>

#include "kyb/catalogue/ProductData.h"
#include "kyb/dialogs/WebLoginDialog.h"
#include "kyb/scanners/ScannerData.h"
#include "kyb/tests/AccountSimTest.h"
#include "kyb/ui/QKestrune.h"

namespace {

class ScreenFit : public ktest::AccountSimTest {};

TEST_F(ScreenFit, LargeWindowsOpenInsideTheScreen)
{
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_LT(room.width(), 870) << "the screen must be smaller than the windows";
    ScannerData scanners;
    ProductData products;
    const struct {
        const char* name;
        std::function<std::unique_ptr<QWidget>()> make;
        QSize design;
    } windows[] = {
        {"web sign-in", [] { return std::make_unique<WebLoginDialog>(nullptr); }, {870, 570}},
        {"main window", [&] { return std::make_unique<QKestrune>(&scanners, &products); }, {1128, 531}},
    };
    for (const auto& w : windows) {
        SCOPED_TRACE(w.name);
        const std::unique_ptr<QWidget> window = w.make();
        ASSERT_EQ(window->size(), w.design);
        window->move(room.right() - 100, room.top() + 50);  // mostly off the screen
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(room.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                          << frame.height() << " inner " << window->y() << " room " << room.height();
        EXPECT_EQ(window->size(), w.design.boundedTo(room.size() - (frame.size() - window->size())));
        // Later sizes are the user's.
        window->resize(w.design);
        window->hide();
        window->show();
        EXPECT_EQ(window->size(), w.design);
    }
}

}  // namespace
