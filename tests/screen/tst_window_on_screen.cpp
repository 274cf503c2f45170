// The main window on a real X server (a virtual one, xvfb-run): real fonts and real geometry,
// which the offscreen platform does not have. A flash runs against the simulator while every
// status text is watched for being cut without its whole in the tooltip.
#include "DevsimProcess.h"
#include "GuiFixture.h"
#include "TestFirmware.h"
#include "app/ElidedLabel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QToolButton>

namespace {

// Samples the status texts every few milliseconds while an operation runs.
class ClipWatch {
public:
    explicit ClipWatch(GuiFixture& f) : f_(f) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { sample(); });
        timer_.start(5);
    }

    QStringList faults;     // texts cut with no tooltip holding them
    QStringList cutTexts;   // texts cut, with the tooltip holding them
    QStringList shownTexts; // every text seen, once
    int samples = 0;

private:
    void sample() {
        ++samples;
        for (const char* name : {"Status0", "Status2", "Status3"}) {
            const auto* panel = f_.find<ElidedLabel>(name);
            const QString text = panel->text();
            if (!shownTexts.contains(text)) {
                shownTexts.append(text);
            }
            if (!panel->isElided()) {
                continue;
            }
            (panel->toolTip().contains(text) ? cutTexts : faults).append(text);
        }
        auto* button = f_.find<QToolButton>("btnConnect");
        if (button->width() < button->sizeHint().width()) {
            faults.append(button->text());
        }
    }

    GuiFixture& f_;
    QTimer timer_;
};

} // namespace

class WindowOnScreenTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void flashShowsEveryStatusWhole();
    void storageOptionsShowWhole();
    void restoredWindowIsOnScreen_data();
    void restoredWindowIsOnScreen();

private:
    DevsimProcess devsim_;
};

void WindowOnScreenTest::initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(devsim_.start({QStringLiteral("--tcp"), QStringLiteral("0"),
                           QStringLiteral("--banner-interval"), QStringLiteral("200")}));
}

void WindowOnScreenTest::flashShowsEveryStatusWhole() {
    GuiFixture f;
    const QString file = writeTestFirmware(f.dataDir, 60);
    f.start();
    QTest::mouseClick(f.find<QToolButton>("ToolButton1"), Qt::LeftButton);
    f.form().IPEdit.text = QStringLiteral("127.0.0.1");
    f.find<QSpinBox>("PortNum")->setValue(devsim_.tcpPort());
    f.dialogs.queueFile(file);
    QTest::mouseClick(f.find<QToolButton>("btnOpen"), Qt::LeftButton);
    // A long message, as the storage load writes them, must be cut with its tooltip too.
    f.loader().setStatus(3, QStringLiteral("Загружено 12,50 % байт 4096 строк 128 Осталось: "
                                           "00:03:10 Устанавливаем стартовую страницу 70"));

    ClipWatch watch(f);
    QTest::qWait(50);
    QTest::mouseClick(f.find<QToolButton>("btnConnect"), Qt::LeftButton);
    f.awaitOperation();
    QTest::qWait(50);

    const QString status = f.find<QLabel>("Status3")->text();
    QVERIFY2(status.startsWith(QStringLiteral("Операция выполнена за ")), qPrintable(status));
    QCOMPARE(f.find<QLabel>("Status0")->text(), QStringLiteral("62:62"));
    QVERIFY2(watch.faults.isEmpty(), qPrintable(watch.faults.join(QLatin1Char('\n'))));
    QVERIFY(!watch.cutTexts.isEmpty()); // the long message was seen cut, so the check has bite
    QVERIFY2(watch.shownTexts.size() > 5, qPrintable(watch.shownTexts.join(QLatin1Char('\n'))));
    QVERIFY(watch.samples > 20);
    // The link left open is named in panel 2.
    QCOMPARE(f.find<QLabel>("Status2")->text(),
             QStringLiteral("127.0.0.1:%1").arg(devsim_.tcpPort()));
    f.finish();
}

// In storage mode the three options sit inside the firmware group, one beside or under the
// other, each tall enough for its text.
void WindowOnScreenTest::storageOptionsShowWhole() {
    GuiFixture f;
    f.start();
    f.find<QAction>("N2")->trigger();
    f.app->syncAll();
    QTest::qWait(50);
    auto* group = f.find<QGroupBox>("Panel3");
    QList<QRect> placed;
    for (const char* name : {"cbFinalization", "cbWaitConnectLUMET", "cbDopInitCmd"}) {
        auto* box = f.find<QCheckBox>(name);
        QVERIFY(box->isVisible());
        const QRect where(box->mapTo(group, QPoint(0, 0)), box->size());
        QVERIFY2(group->contentsRect().contains(where), name);
        QVERIFY2(box->height() >= box->fontMetrics().height(), name);
        QVERIFY2(box->width() >= box->sizeHint().width(), name);
        for (const QRect& other : placed) {
            QVERIFY2(!other.intersects(where), name);
        }
        placed.append(where);
    }
    // The file rows above keep their fields whole.
    for (const char* name : {"edName", "edtUnitSign"}) {
        auto* field = f.find<QLineEdit>(name);
        QVERIFY2(field->height() >= field->fontMetrics().height() + 4, name);
        const QRect where(field->mapTo(group, QPoint(0, 0)), field->size());
        for (const QRect& option : placed) {
            QVERIFY2(!option.intersects(where), name);
        }
    }
}

void WindowOnScreenTest::restoredWindowIsOnScreen_data() {
    QTest::addColumn<QPoint>("stored"); // the client area's origin, saved at 100 % on 1280 × 800
    QTest::newRow("where it was") << QPoint(100, 120);
    QTest::newRow("bottom right corner") << QPoint(1200, 700);
    QTest::newRow("off the left edge") << QPoint(-600, 300);
    QTest::newRow("off every screen") << QPoint(5000, 5000);
}

// The window restored at its stored position is on the screen, whole where it fits: also at
// 200 % (this function runs a second time with QT_SCALE_FACTOR=2), where a position saved at
// 100 % lies twice as far out and the window is wider than the screen.
void WindowOnScreenTest::restoredWindowIsOnScreen() {
    QFETCH(QPoint, stored);
    QTemporaryDir dir;
    {
        QSettings ini(QDir(dir.path()).filePath(QStringLiteral("velkor.ini")),
                      QSettings::IniFormat);
        ini.setValue(QStringLiteral("StoreParams/Left"), stored.x());
        ini.setValue(QStringLiteral("StoreParams/Top"), stored.y());
    }
    GuiFixture f(dir.path());
    f.start();
    QTest::qWait(50);
    const QRect area = f.window().screen()->availableGeometry();
    const QRect frame = f.window().frameGeometry();
    const QString where = QStringLiteral("window %1,%2 %3×%4 on %5×%6")
                              .arg(frame.x())
                              .arg(frame.y())
                              .arg(frame.width())
                              .arg(frame.height())
                              .arg(area.width())
                              .arg(area.height());
    QVERIFY2(area.contains(frame.topLeft()), qPrintable(where));
    QVERIFY2(frame.bottom() <= area.bottom(), qPrintable(where));
    QVERIFY2(frame.right() <= area.right() || frame.left() == area.left(), qPrintable(where));
    if (area.contains(QRect(stored, frame.size()))) {
        QCOMPARE(f.window().geometry().topLeft(), stored);
    }
    f.finish();
}

QTEST_MAIN(WindowOnScreenTest)
#include "tst_window_on_screen.moc"
