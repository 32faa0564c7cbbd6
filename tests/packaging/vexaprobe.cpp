// A Qt generic plug-in the packaging test loads into the installed program
// (QT_QPA_GENERIC_PLUGINS=vexaprobe), which has no test hooks of its own. It
// waits until an item view lists VEXA_PROBE_ROWS rows or VEXA_PROBE_SECONDS
// pass, prints "rows N", then closes the main window and confirms the close
// question, so the program ends through its own quit path.

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QGenericPlugin>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

int MostRows()
{
    int rows = 0;
    for (const QWidget *widget : QApplication::allWidgets()) {
        const auto *view = qobject_cast<const QAbstractItemView *>(widget);
        if (view && view->isVisible() && view->model())
            rows = std::max(rows, view->model()->rowCount());
    }
    return rows;
}

QWidget *MainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && !qobject_cast<QDialog *>(widget))
            return widget;
    }
    return nullptr;
}

class VexaProbe : public QObject
{
public:
    VexaProbe()
        : m_expected(qEnvironmentVariableIntValue("VEXA_PROBE_ROWS"))
        , m_ticksLeft(10 * qEnvironmentVariableIntValue("VEXA_PROBE_SECONDS"))
    {
        m_poll.setInterval(100);
        connect(&m_poll, &QTimer::timeout, this, &VexaProbe::Poll);
        m_poll.start();
    }

private:
    void Poll()
    {
        const int rows = MostRows();
        if (rows < m_expected && --m_ticksLeft > 0)
            return;
        m_poll.stop();
        std::printf("rows %d\n", rows);
        std::fflush(stdout);
        // The close question is modal: answer it from a timer of its own.
        connect(&m_confirm, &QTimer::timeout, this, [] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->accept();
        });
        m_confirm.start(50);
        QTimer::singleShot(0, this, [] {
            if (QWidget *window = MainWindow())
                window->close();
        });
    }

    QTimer m_poll;
    QTimer m_confirm;
    int m_expected;
    int m_ticksLeft;
};

} // namespace

class VexaProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "vexaprobe.json")

public:
    QObject *create(const QString &key, const QString &) override
    {
        return key == QLatin1String("vexaprobe") ? new VexaProbe : nullptr;
    }
};

#include "vexaprobe.moc"
