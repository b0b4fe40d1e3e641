// The documentation's pictures: every window opens with its content, is grabbed and closes again,
// so that a change to a window cannot break scripts/screenshots.sh unnoticed.
#include <QApplication>
#include <set>

#include <gtest/gtest.h>

#include "tools/kvshots/shots.h"
#include "util/status_popup.h"

TEST(Kvshots, EveryPictureShowsItsWindowWhichThenCloses) {
    for (const auto& shot : kv::shots::shots()) {
        SCOPED_TRACE(shot.name);
        const QImage image = shot.take();
        ASSERT_FALSE(image.isNull());
        EXPECT_GE(image.width(), 150);
        EXPECT_GE(image.height(), 60);
        // Not a blank picture: text and controls bring many colours.
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
        EXPECT_GE(colours.size(), 8u);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(kv::util::status_popup(), nullptr);
    }
}

TEST(Kvshots, TheDetailsPictureShowsTheDetails) {
    const auto* closed = kv::shots::find_shot("message-port");
    const auto* open = kv::shots::find_shot("message-details");
    ASSERT_NE(closed, nullptr);
    ASSERT_NE(open, nullptr);
    EXPECT_GT(open->take().height(), closed->take().height() + 40);
}
