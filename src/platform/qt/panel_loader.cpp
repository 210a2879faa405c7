#include "panel_loader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUiLoader>
#include <QWidget>

#include "control_table.h"
#include "graph.h"
#include "inputs.h"
#include "strip_chart.h"

namespace kxqt {
namespace {

// Creates the panel's own widget classes; every other class is Qt's.
class PanelBuilder : public QUiLoader {
  public:
    QWidget* createWidget(const QString& class_name, QWidget* parent,
                          const QString& name) override {
        QWidget* widget = create_own(class_name, parent);
        if (!widget) return QUiLoader::createWidget(class_name, parent, name);
        widget->setObjectName(name);
        return widget;
    }

  private:
    static QWidget* create_own(const QString& class_name, QWidget* parent) {
        if (class_name == QLatin1String("kxqt::Graph")) return new Graph(parent);
        if (class_name == QLatin1String("kxqt::StripChart")) return new StripChart(parent);
        if (class_name == QLatin1String("kxqt::IntInput")) return new IntInput(parent);
        if (class_name == QLatin1String("kxqt::FloatInput")) return new FloatInput(parent);
        return nullptr;
    }
};

// The controls of `window` by identifier; what is missing or of the wrong
// kind is listed in `problems`.
Controls find_controls(QWidget* window, QStringList& problems) {
    Controls controls;
    for (const ControlEntry& entry : control_entries()) {
        auto* widget = window->findChild<QWidget*>(QLatin1String(entry.name));
        if (!widget && !entry.required) continue; // an older panel file: not offered
        if (!widget)
            problems << QStringLiteral("no control %1").arg(QLatin1String(entry.name));
        else if (!widget->inherits(entry.class_name))
            problems << QStringLiteral("%1 is a %2, not a %3")
                            .arg(QLatin1String(entry.name),
                                 QLatin1String(widget->metaObject()->className()),
                                 QLatin1String(entry.class_name));
        else
            controls[entry.id] = widget;
    }
    return controls;
}

} // namespace

QStringList panel_directories(const QString& program_directory) {
    QStringList directories{
        QDir::currentPath(),
        QDir::cleanPath(
            QDir(program_directory).filePath(QStringLiteral(KX_PANEL_DIR_FROM_PROGRAM)))};
#ifdef KX_SOURCE_UI_DIR
    directories << QStringLiteral(KX_SOURCE_UI_DIR);
#endif
    return directories;
}

QString find_panel_file(const QString& name, const QStringList& directories) {
    if (name.contains(QLatin1Char('/'))) return QFileInfo::exists(name) ? name : QString();
    for (const QString& directory : directories) {
        QString path = QDir(directory).filePath(name);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

std::optional<LoadedPanel> load_panel_file(const QString& name, int resource, QString& error) {
    QStringList directories = panel_directories(QCoreApplication::applicationDirPath());
    QString path = find_panel_file(name, directories);
    if (path.isEmpty()) {
        error =
            QStringLiteral("%1: not found in %2").arg(name, directories.join(QLatin1String(", ")));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    PanelBuilder builder;
    builder.setWorkingDirectory(QFileInfo(path).absoluteDir());
    QWidget* window = builder.load(&file);
    if (!window) {
        error = QStringLiteral("%1: %2").arg(path, builder.errorString());
        return std::nullopt;
    }
    const char* wanted = panel_name(resource);
    if (!wanted || window->objectName() != QLatin1String(wanted)) {
        error = QStringLiteral("%1: no panel resource %2").arg(path).arg(resource);
        delete window;
        return std::nullopt;
    }
    QStringList problems;
    Controls controls = find_controls(window, problems);
    if (!problems.isEmpty()) {
        error = QStringLiteral("%1: %2").arg(path, problems.join(QLatin1String("; ")));
        delete window;
        return std::nullopt;
    }
    return LoadedPanel{window, controls};
}

} // namespace kxqt
