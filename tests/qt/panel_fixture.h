// A fresh process's panel, loaded from the source tree's panel file.
#pragma once

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "controls.h"
#include "runtime.h"
#include "test_access.h"

class PanelTest : public testing::Test {
  protected:
    void SetUp() override {
        panel = LoadPanel(0, KX_TEST_PANEL_FILE, PANEL);
        ASSERT_GT(panel, 0) << PanelLoadError();
        DisplayPanel(panel);
        QWidget* window = kxqt::test::panel_window(panel);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window, 2000));
    }
    void TearDown() override {
        if (panel > 0) DiscardPanel(panel);
    }

    template <class Widget> Widget* widget(int control) {
        auto* found = qobject_cast<Widget*>(kxqt::test::control(panel, control));
        EXPECT_NE(found, nullptr) << "control " << control;
        return found;
    }

    // Every commit queued so far, as control ids, oldest first.
    std::vector<int> commits() {
        std::vector<int> controls;
        int event_panel = 0;
        int control = 0;
        while (GetUserEvent(0, &event_panel, &control)) {
            EXPECT_EQ(event_panel, panel);
            controls.push_back(control);
        }
        return controls;
    }

    int panel = 0;
};
