// The Graph dialog over real chart windows: log path rules, caption, chart
// placement, the minute reload, and the keys that close it or do nothing.
#include <QDir>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <cstdio>

#include "chart_window.h"
#include "plotwick.h"
#include "plotwick/view.h"
#include "temp_dir.h"
#include "ui/graph_dialog.h"

using kestrane::BoardSettings;
using kestrane::ui::GraphDialog;
using kestrane::ui::GraphLogPath;

namespace {

bool WriteLog(const QString& path, int count, int firstMinute = 0) {
    std::FILE* f = std::fopen(path.toLocal8Bit().constData(), firstMinute == 0 ? "wb" : "ab");
    if (f == nullptr) return false;
    for (int m = firstMinute; m < firstMinute + count; ++m) {
        std::fprintf(f, "07 Dec 2026;%02d:%02d:00 AM;+ 1.250\r\n", 8 + m / 60, m % 60);
    }
    return std::fclose(f) == 0;
}

plotwick::GraphContext& Ctx(void* chart) {
    return *plotwick::ChartFromHandle(plotwick::ExportContext(), chart)->context();
}

}  // namespace

class GraphDialogTest : public QObject {
    Q_OBJECT

    kestrane::test::TempDir dir_{"graphdialog"};
    BoardSettings board_;
    std::string programDir_;

    kestrane::ui::BoardSettingsGetter Getter() {
        return [this] { return static_cast<const BoardSettings*>(&board_); };
    }

private slots:
    void initTestCase() {
        QVERIFY(!dir_.path().empty());
        pwInitialize();
        programDir_ = dir_.path().string() + "/";
    }
    void init() {
        board_ = BoardSettings{};
        board_.pid = "1A2B";
        for (int n = 1; n <= 6; ++n) {
            auto& c = board_.channels[static_cast<size_t>(n - 1)];
            c.vmName = "Tank " + std::to_string(n);
            c.logPath = programDir_;
            c.logFileName = "ch" + std::to_string(n) + ".txt";
        }
    }
    void cleanupTestCase() { pwDeinitialize(); }

    void logPathRules_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder and file joined as stored") << "/data/logs/" << 3 << "/data/logs/ch3.txt";
        QTest::newRow("no separator added") << "/data/logs" << 2 << "/data/logsch2.txt";
        QTest::newRow("empty folder: program folder and PID") << "" << 1 << "/opt/kestrane/1A2B/ch1.txt";
        QTest::newRow("channel out of range") << "/x/" << 7 << "";
        QTest::newRow("channel zero") << "/x/" << 0 << "";
    }
    void logPathRules() {
        QFETCH(QString, folder);
        QFETCH(int, channel);
        QFETCH(QString, expected);
        for (auto& c : board_.channels) c.logPath = folder.toStdString();
        QCOMPARE(QString::fromStdString(GraphLogPath(board_, channel, "/opt/kestrane/")), expected);
        QCOMPARE(QString::fromStdString(board_.channels[0].logPath), folder);  // setting left unchanged
    }

    void captionChartAndTimer() {
        QVERIFY(WriteLog(QString::fromStdString(dir_.File("ch3.txt")), 30));
        GraphDialog dialog(nullptr, 3, Getter(), programDir_);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Tank 3"));
        QVERIFY(dialog.chart() != nullptr);
        auto* chart = dialog.findChild<QWidget*>(QStringLiteral("MerrowPlotwickClass"));
        QVERIFY(chart != nullptr);
        QCOMPARE(chart->geometry(), QRect(10, 10, 600, 240));
        QCOMPARE(QByteArray(Ctx(dialog.chart()).title.c_str()), QByteArray("Tank 3"));
        QCOMPARE(Ctx(dialog.chart()).pointCount, 30);
        QCOMPARE(Ctx(dialog.chart()).captionIsVolts, 1);
        QVERIFY(dialog.reloadTimer().isActive());
        QCOMPARE(dialog.reloadTimer().interval(), 60000);
    }

    void reloadPicksUpRecordsAndUndoesZoom() {
        const QString log = QString::fromStdString(dir_.File("ch2.txt"));
        QVERIFY(WriteLog(log, 120));
        GraphDialog dialog(nullptr, 2, Getter(), programDir_);
        plotwick::GraphContext& c = Ctx(dialog.chart());
        QCOMPARE(c.pointCount, 120);
        plotwick::SetView(c, 600, 900);
        QVERIFY(WriteLog(log, 5, 120));
        dialog.Reload();
        QCOMPARE(c.pointCount, 125);
        QCOMPARE(c.viewStart, 0);
        QCOMPARE(c.viewEnd, 3600);
        // A reload that fails (file gone) leaves the chart as it was.
        plotwick::SetView(c, 600, 900);
        QVERIFY(QFile::remove(log));
        dialog.Reload();
        QCOMPARE(c.pointCount, 125);
        QCOMPARE(c.viewStart, 600);
        // The path is rebuilt from the settings current at each tick.
        QVERIFY(WriteLog(QString::fromStdString(dir_.File("moved.txt")), 7));
        board_.channels[1].logFileName = "moved.txt";
        dialog.Reload();
        QCOMPARE(c.pointCount, 7);
    }

    void emptyLogFolderUsesProgramFolder() {
        QVERIFY(QDir(QString::fromStdString(dir_.path().string())).mkpath("1A2B"));
        QVERIFY(WriteLog(QString::fromStdString(dir_.File("1A2B/ch4.txt")), 12));
        board_.channels[3].logPath.clear();
        GraphDialog dialog(nullptr, 4, Getter(), programDir_);
        QCOMPARE(Ctx(dialog.chart()).pointCount, 12);
        QVERIFY(board_.channels[3].logPath.empty());
    }

    void missingLogShowsEmptyChart() {
        board_.channels[4].logFileName = "none.txt";
        GraphDialog dialog(nullptr, 5, Getter(), programDir_);
        QVERIFY(dialog.chart() != nullptr);
        QCOMPARE(Ctx(dialog.chart()).pointCount, 0);
    }

    void enterDoesNothingEscapeCloses() {
        QVERIFY(WriteLog(QString::fromStdString(dir_.File("ch1.txt")), 10));
        auto dialog = std::make_unique<GraphDialog>(nullptr, 1, Getter(), programDir_);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QTest::keyClick(dialog.get(), Qt::Key_Return);
        QTest::keyClick(dialog.get(), Qt::Key_Enter);
        QVERIFY(dialog->isVisible());
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), 0);
        QVERIFY(!dialog->reloadTimer().isActive());
        QPointer<QWidget> chart = plotwick::ChartFromHandle(plotwick::ExportContext(), dialog->chart());
        void* handle = dialog->chart();
        dialog.reset();
        QVERIFY(chart.isNull());  // nothing of the chart survives the dialog
        QVERIFY(plotwick::ChartFromHandle(plotwick::ExportContext(), handle) == nullptr);
    }

    void openRunsModallyUntilEscape() {
        QVERIFY(WriteLog(QString::fromStdString(dir_.File("ch6.txt")), 10));
        QWidget owner;
        owner.show();
        kestrane::ui::GraphDialogs dialogs;
        dialogs.SetUp(&owner, Getter(), programDir_);
        bool sawDialog = false;
        QTimer::singleShot(0, &owner, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            sawDialog = dialog->windowTitle() == QStringLiteral("Tank 6");
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        dialogs.Open(6);
        QVERIFY(sawDialog);
        QVERIFY(owner.findChild<QWidget*>(QStringLiteral("MerrowPlotwickClass")) == nullptr);
    }
};

QTEST_MAIN(GraphDialogTest)
#include "graph_dialog_test.moc"
