// The panel of the source tree's panel file, loaded, shown and active.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

#include "controls.h"
#include "files.h"
#include "operator_events.h"
#include "panel_registry.h"
#include "runtime.h"

using Commits = std::vector<int>;

// Until `window` has had the paint that was due, with what waits for it
// (texts, plots, field states) shown: its paint pacer's timer is idle.
inline bool paint_due(QWidget* window) {
    auto* due = window->findChild<QTimer*>(QStringLiteral("kx paint pacer timer"));
    return due != nullptr && QTest::qWaitFor([&] { return !due->isActive(); }, 60000);
}

// Whether `window` asks for another paint once what was posted to it has
// been delivered.
inline bool paint_asked(QWidget* window) {
    QCoreApplication::sendPostedEvents();
    auto* due = window->findChild<QTimer*>(QStringLiteral("kx paint pacer timer"));
    return due == nullptr || due->isActive();
}

class PanelTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(OpenDisplay(), 0); // offscreen
        panel = LoadPanel(0, KX_TEST_PANEL_FILE, PANEL);
        ASSERT_GT(panel, 0) << PanelLoadError();
        DisplayPanel(panel);
        window()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window(), 10000));
    }
    void TearDown() override {
        if (panel > 0) DiscardPanel(panel);
        EXPECT_EQ(kxqt::queued_commits(), 0); // none left for a panel that is gone
    }

    QWidget* window() { return kxqt::panel_window(panel); }
    template <class Widget> Widget* widget(int control) {
        auto* found = qobject_cast<Widget*>(kxqt::control_widget(panel, control));
        EXPECT_NE(found, nullptr) << "control " << control;
        return found;
    }

    // Every commit queued so far, as control ids, oldest first.
    Commits commits() {
        Commits controls;
        int event_panel = 0, control = 0;
        while (GetUserEvent(0, &event_panel, &control)) {
            EXPECT_EQ(event_panel, panel);
            controls.push_back(control);
        }
        return controls;
    }

    int panel = 0;
};

// The panel file made before the replay's transport and the alarm list, in a
// scratch working directory of its own, loaded: `panel` is its handle, or
// negative (PanelLoadError() says why) when it did not load.
struct OlderPanel {
    ScratchDirectory directory;
    WorkingDirectory here{directory.root()};
    int panel = load();

    static int load() {
        QFile::copy(QStringLiteral(KX_OLDER_PANEL_FILE), QStringLiteral("kx.uir"));
        return OpenDisplay() == 0 ? LoadPanel(0, "kx.uir", PANEL) : -1;
    }
};
