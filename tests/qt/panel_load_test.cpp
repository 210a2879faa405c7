// Loading the panel file: every control identifier has a widget of its kind,
// and a missing or broken file fails with a message the caller can print.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <filesystem>
#include <string>

#include "files.h"
#include "graph.h"
#include "inputs.h"
#include "panel_fixture.h"
#include "panel_loader.h"
#include "scratch_directory.h"
#include "strip_chart.h"

namespace {

QByteArray panel_source() {
    QFile file(QStringLiteral(KX_TEST_PANEL_FILE));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// Writes `text` as `name` into `directory` and returns its path.
std::string write_file(const ScratchDirectory& directory, const std::string& name,
                       const QByteArray& text) {
    std::string path = directory / name;
    ::write_file(path, text.toStdString());
    return path;
}

} // namespace

TEST_F(PanelTest, EveryControlIdHasAWidgetOfItsKind) {
    for (int id : {PANEL_WORD_244, PANEL_WORD_10, PANEL_WORD_252, PANEL_WORD_14, PANEL_WORD_12,
                   PANEL_COUNT_MODE3, PANEL_COUNT_MODE2, PANEL_COUNT_MODE0, PANEL_TIME,
                   PANEL_TENTH_248, PANEL_TENTH_246, PANEL_SCALED_246, PANEL_SCALED_248,
                   PANEL_SCALED_250, PANEL_SKIPPED, PANEL_STATUS}) {
        auto* display = widget<QLineEdit>(id);
        ASSERT_NE(display, nullptr);
        EXPECT_TRUE(display->isReadOnly()) << id;
    }
    ASSERT_NE(widget<QPlainTextEdit>(PANEL_HEXDUMP), nullptr);
    EXPECT_TRUE(widget<QPlainTextEdit>(PANEL_HEXDUMP)->isReadOnly());
    for (int id : {PANEL_QUIT, PANEL_RESET, PANEL_RESTART})
        EXPECT_NE(widget<QPushButton>(id), nullptr);
    for (int id : {PANEL_XMIN, PANEL_XMAX, PANEL_NFRAMES})
        EXPECT_NE(widget<kxqt::IntInput>(id), nullptr);
    for (int id : {PANEL_YMIN, PANEL_YMAX})
        EXPECT_NE(widget<kxqt::FloatInput>(id), nullptr);
    for (int id : {PANEL_XLOG, PANEL_YLOG})
        EXPECT_NE(widget<QCheckBox>(id), nullptr);
    EXPECT_NE(widget<QComboBox>(PANEL_ACCUMULATE), nullptr);
    EXPECT_NE(widget<kxqt::Graph>(PANEL_SPECTRUM), nullptr);
    // A call's 20 rates and 80 group values spread evenly over the traces.
    auto* rates = widget<kxqt::StripChart>(PANEL_RATES);
    auto* groups = widget<kxqt::StripChart>(PANEL_GROUP_CHART);
    ASSERT_TRUE(rates && groups);
    EXPECT_EQ(20 % rates->traces(), 0);
    EXPECT_EQ(80 % groups->traces(), 0);
    EXPECT_EQ(kxqt::test::control(panel, 1), nullptr);
    EXPECT_EQ(kxqt::test::control(panel, 33), nullptr);
}

TEST_F(PanelTest, InitialValuesMatchTheSettingsOfAFreshPass) {
    int value = 0;
    float limit = 0.0f;
    EXPECT_EQ(GetCtrlVal(panel, PANEL_XMIN, &value), 0);
    EXPECT_EQ(value, 0);
    GetCtrlVal(panel, PANEL_XMAX, &value);
    EXPECT_EQ(value, 4095);
    GetCtrlVal(panel, PANEL_YMIN, &limit);
    EXPECT_EQ(limit, 0.001f);
    GetCtrlVal(panel, PANEL_YMAX, &limit);
    EXPECT_EQ(limit, 10.0f);
    GetCtrlVal(panel, PANEL_ACCUMULATE, &value);
    EXPECT_EQ(value, 1);
    GetCtrlVal(panel, PANEL_XLOG, &value);
    EXPECT_EQ(value, 0);
}

// A 1024x768 screen, less a title bar and a taskbar, leaves about this much.
TEST_F(PanelTest, WholePanelFitsA1024By768Screen) {
    QSize needed = kxqt::test::panel_window(panel)->minimumSizeHint();
    EXPECT_LE(needed.width(), 1000);
    EXPECT_LE(needed.height(), 700);
}

// The panel file asks for more than a small screen has: the window opens
// within the screen, or at the panel's minimum where even that is larger.
TEST_F(PanelTest, DisplayedWindowStaysWithinTheScreen) {
    QWidget* window = kxqt::test::panel_window(panel);
    QSize room = window->screen()->availableGeometry().size().expandedTo(window->minimumSize());
    EXPECT_LE(window->width(), room.width());
    EXPECT_LE(window->height(), room.height());
}

TEST_F(PanelTest, EveryOperatorInputExplainsItselfInATooltip) {
    for (int id : {PANEL_QUIT, PANEL_XMIN, PANEL_XMAX, PANEL_YMIN, PANEL_YMAX, PANEL_NFRAMES,
                   PANEL_RESET, PANEL_ACCUMULATE, PANEL_XLOG, PANEL_YLOG, PANEL_RESTART})
        EXPECT_FALSE(kxqt::test::control(panel, id)->toolTip().isEmpty()) << id;
}

TEST(PanelLoad, BareNameIsFoundInTheWorkingDirectoryFirst) {
    ScratchDirectory directory;
    QByteArray text = panel_source();
    text.replace("<string>kx telemetry display</string>", "<string>local copy</string>");
    write_file(directory, "kx.uir", text);
    WorkingDirectory here(directory.root());
    int panel = LoadPanel(0, "kx.uir", PANEL);
    ASSERT_GT(panel, 0) << PanelLoadError();
    EXPECT_EQ(kxqt::test::panel_window(panel)->windowTitle(), QStringLiteral("local copy"));
    EXPECT_EQ(DiscardPanel(panel), 0);
    EXPECT_EQ(kxqt::test::panel_window(panel), nullptr);
}

// An installed tree, wherever it is unpacked: the program in prefix/bin/, its
// panel in prefix/share/kx/. A copy in the working directory comes first.
TEST(PanelLoad, BareNameIsLookedUpInTheWorkingDirectoryThenInTheProgramsDataDirectory) {
    struct Case {
        bool in_work, in_data;
        const char* found; // the directory of the file found, or nullptr
    };
    for (Case c : {Case{true, true, "work"}, Case{true, false, "work"},
                   Case{false, true, "prefix/share/kx"}, Case{false, false, nullptr}}) {
        SCOPED_TRACE(testing::Message() << c.in_work << c.in_data);
        ScratchDirectory root;
        for (const char* directory : {"work", "prefix/bin", "prefix/share/kx"})
            std::filesystem::create_directories(root / directory);
        if (c.in_work) write_file(root / "work/own.uir", "");
        if (c.in_data) write_file(root / "prefix/share/kx/own.uir", "");
        WorkingDirectory here(root / "work");
        QString program_directory = QString::fromStdString(root / "prefix/bin");
        QString found = kxqt::find_panel_file(QStringLiteral("own.uir"),
                                              kxqt::panel_directories(program_directory));
        EXPECT_EQ(found.toStdString(), c.found ? root / c.found + "/own.uir" : "");
    }
}

TEST(PanelLoad, MissingFileFailsWithItsNameAndTheDirectoriesSearched) {
    ScratchDirectory directory;
    WorkingDirectory here(directory.root());
    EXPECT_LT(LoadPanel(0, "absent.uir", PANEL), 0);
    std::string error = PanelLoadError();
    EXPECT_EQ(error.rfind("absent.uir: not found in " + directory.root(), 0), 0u) << error;
}

TEST(PanelLoad, MalformedFileFailsWithTheLoadersReason) {
    ScratchDirectory directory;
    std::string path = write_file(directory, "broken.uir", "<ui version=\"4.0\"><widget class=");
    EXPECT_LT(LoadPanel(0, path.c_str(), PANEL), 0);
    std::string error = PanelLoadError();
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_GT(error.size(), path.size() + 2);
}

TEST(PanelLoad, FileWithoutAControlNamesIt) {
    ScratchDirectory directory;
    QByteArray text = panel_source();
    text.replace("name=\"PANEL_QUIT\"", "name=\"quitButton\"");
    std::string path = write_file(directory, "kx.uir", text);
    EXPECT_LT(LoadPanel(0, path.c_str(), PANEL), 0);
    EXPECT_EQ(std::string(PanelLoadError()), path + ": no control PANEL_QUIT");
}

TEST(PanelLoad, ControlOfTheWrongKindIsNamed) {
    ScratchDirectory directory;
    QByteArray text = panel_source();
    text.replace("<widget class=\"QCheckBox\" name=\"PANEL_XLOG\">",
                 "<widget class=\"QPushButton\" name=\"PANEL_XLOG\">");
    std::string path = write_file(directory, "kx.uir", text);
    EXPECT_LT(LoadPanel(0, path.c_str(), PANEL), 0);
    EXPECT_EQ(std::string(PanelLoadError()),
              path + ": PANEL_XLOG is a QPushButton, not a QCheckBox");
}

TEST(PanelLoad, UnknownResourceFails) {
    EXPECT_LT(LoadPanel(0, KX_TEST_PANEL_FILE, 2), 0);
    EXPECT_EQ(std::string(PanelLoadError()),
              std::string(KX_TEST_PANEL_FILE) + ": no panel resource 2");
}
