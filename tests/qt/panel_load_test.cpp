// Loading the panel file: a missing or broken file fails with a message the
// caller can print; the panel fits a small screen and explains its inputs.
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <string>

#include "files.h"
#include "panel_fixture.h"
#include "scratch_directory.h"

TEST_F(PanelTest, PanelFitsA1024By768ScreenAndOpensWithinTheScreen) {
    // Such a screen, less a title bar and a taskbar, leaves about this much.
    EXPECT_LE(window()->minimumSizeHint().width(), 1000);
    EXPECT_LE(window()->minimumSizeHint().height(), 700);
    // The panel file asks for more: the window opens within the screen, or
    // at the panel's minimum where even that is larger.
    QSize room = window()->screen()->availableGeometry().size().expandedTo(window()->minimumSize());
    EXPECT_LE(window()->width(), room.width());
    EXPECT_LE(window()->height(), room.height());
}

TEST_F(PanelTest, DisplaysAreReadOnlyAndInputsExplainThemselves) {
    for (int id = PANEL_WORD_244; id <= PANEL_RESTART; ++id) {
        QWidget* control = kxqt::test::control(panel, id);
        bool input = (id >= PANEL_QUIT && id <= PANEL_YLOG) || id == PANEL_RESTART;
        EXPECT_TRUE(!input || !control->toolTip().isEmpty()) << id;
        auto* line = qobject_cast<QLineEdit*>(control);
        auto* box = qobject_cast<QPlainTextEdit*>(control);
        EXPECT_TRUE((!line || line->isReadOnly()) && (!box || box->isReadOnly())) << id;
    }
}

// Each file is looked up by its bare name, in the working directory first.
TEST(PanelLoad, MissingOrBrokenFileFailsWithAMessageNamingTheFault) {
    ScratchDirectory directory;
    WorkingDirectory here(directory.root());
    QFile source(QStringLiteral(KX_TEST_PANEL_FILE));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const std::string panel_file = source.readAll().toStdString();
    auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = panel_file;
        return text.replace(text.find(from), from.size(), to);
    };
    struct Case {
        const char* name;
        std::string text; // none: no such file
        int resource;
        std::string error; // or how it begins, followed by the loader's reason
        bool whole;
    };
    const std::string root = directory.root();
    const Case cases[] = {
        {"absent.uir", "", PANEL, "absent.uir: not found in " + root + ", ", false},
        {"broken.uir", "<ui version=\"4.0\"><widget class=", PANEL, root + "/broken.uir: ", false},
        {"kx.uir", edited("name=\"PANEL_QUIT\"", "name=\"quitButton\""), PANEL,
         root + "/kx.uir: no control PANEL_QUIT", true},
        {"kx.uir",
         edited("<widget class=\"QCheckBox\" name=\"PANEL_XLOG\">",
                "<widget class=\"QPushButton\" name=\"PANEL_XLOG\">"),
         PANEL, root + "/kx.uir: PANEL_XLOG is a QPushButton, not a QCheckBox", true},
        {"kx.uir", panel_file, 2, root + "/kx.uir: no panel resource 2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        if (!c.text.empty()) write_file(directory / c.name, c.text);
        EXPECT_LT(LoadPanel(0, c.name, c.resource), 0);
        std::string error = PanelLoadError();
        EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(error.size() == c.error.size(), c.whole) << error;
    }
}
