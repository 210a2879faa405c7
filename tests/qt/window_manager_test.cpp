// The panel as the operator first sees it on a desktop, where a window
// manager frames the window: run by tests/qt/with-window-manager on virtual
// screens of the sizes kx is used on (see tests/qt/CMakeLists.txt).
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "panel_fixture.h"

namespace {

QString text_of(const QRect& r) {
    return QStringLiteral("%1x%2%3%4%5%6")
        .arg(r.width())
        .arg(r.height())
        .arg(r.x() < 0 ? "" : "+")
        .arg(r.x())
        .arg(r.y() < 0 ? "" : "+")
        .arg(r.y());
}

} // namespace

TEST(WindowManager, PanelOpensWholeFrameIncludedWithStatusLineAndQuitInSight) {
    if (qgetenv("QT_QPA_PLATFORM") != "xcb")
        GTEST_SKIP() << "needs a window manager: run by tests/qt/with-window-manager";
    ASSERT_EQ(OpenDisplay(), 0);
    int panel = LoadPanel(0, KX_TEST_PANEL_FILE, PANEL);
    ASSERT_GT(panel, 0) << PanelLoadError();
    ASSERT_EQ(DisplayPanel(panel), 0);
    QWidget* window = kxqt::panel_window(panel);
    QRect area = window->screen()->availableGeometry();
    // The frame's extents are known once the window manager framed the window.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !window->windowHandle()->frameMargins().isNull(); }, 60000))
        << "no window manager framed the window";
    EXPECT_TRUE(QTest::qWaitFor([&] { return area.contains(window->frameGeometry()); }, 20000))
        << "frame " << text_of(window->frameGeometry()).toStdString() << " on "
        << text_of(area).toStdString();
    for (int id : {PANEL_STATUS, PANEL_SKIPPED, PANEL_QUIT}) {
        SCOPED_TRACE(id);
        QWidget* control = kxqt::control_widget(panel, id);
        QRect on_screen(control->mapToGlobal(QPoint(0, 0)), control->size());
        EXPECT_TRUE(control->isVisible());
        EXPECT_TRUE(area.contains(on_screen)) << text_of(on_screen).toStdString();
        EXPECT_EQ(control->visibleRegion(), QRegion(control->rect())); // nothing covers it
    }
    DiscardPanel(panel);
}
