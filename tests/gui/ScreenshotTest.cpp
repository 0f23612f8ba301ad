// Renders the main window offscreen to PNG files under the build folder, with
// live values from the virtual driver, so anyone can look at it.

#include "GuiTestSupport.h"

#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

class ScreenshotTest : public CWindowTest {};

TEST_F(ScreenshotTest, MainWindowWithLiveValues) {
    const QString dir = HALVIK_SCREENSHOT_DIR;
    ASSERT_TRUE(QDir().mkpath(dir));
    m_dlg->show();
    Open();
    Ctrl<QPushButton>(1013)->click();
    Ctrl<QCheckBox>(1015)->click();
    ASSERT_TRUE(WaitGui([&] { return Text(1039) != "-" && Text(1017) != ""; }));

    auto save = [&](const char* name) {
        const QPixmap shot = m_dlg->grab();
        EXPECT_FALSE(shot.isNull());
        EXPECT_GE(shot.width(), 800);
        EXPECT_TRUE(shot.save(dir + "/" + name)) << name;
    };
    save("main.png");
    auto* tabs = Ctrl<QTabWidget>(1012);
    tabs->setCurrentIndex(4);
    FindCtrl<QPushButton>(Page(4), 1064)->click();
    save("pid.png");
    tabs->setCurrentIndex(6);
    FindCtrl<QPushButton>(Page(6), 1143)->click();
    save("safety.png");
    EXPECT_TRUE(m_boxes.m_boxes.empty()) << m_boxes.LastText();
}

} // namespace
