// The real program on a virtual X display (xvfb-run), connected to the demo instrument: its picture
// is not blank, and the status bar's identification (read back from the widget) is the demo's.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace
{

TEST(ScreenshotTest, TheDemoWindowUnderXvfbShowsTheInstrument)
{
    const QString xvfb = QStandardPaths::findExecutable("xvfb-run");
    if (xvfb.isEmpty())
        GTEST_SKIP() << "xvfb-run is not installed";
    QTemporaryDir dir;
    const QString shot = dir.filePath("demo.png");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", dir.filePath("config")); // no per-user copy of anyone's settings
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("XDG_DATA_HOME", dir.filePath("data")); // nor anyone's unsaved recording
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    program.setProcessEnvironment(env);
    program.start(xvfb, {"-a", "-s", "-screen 0 1280x1024x24", QString(BRELLIN_BIN_DIR) + "/brellin",
                         "--demo", "--screenshot", shot});
    ASSERT_TRUE(program.waitForFinished(90000)) << "the program did not end";
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    ASSERT_EQ(program.exitCode(), 0) << out.toStdString() << err.toStdString();
    EXPECT_TRUE(out.contains("Status: SN: 1234567, V500 V1.04")) << out.toStdString();
    EXPECT_TRUE(out.contains("Tab: Display")) << out.toStdString();

    QImage image(shot);
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 640);
    EXPECT_GE(image.height(), 480);
    // A drawn window has many colours (the panel picture, the lit display, text); a blank one few.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 200);
}

} // namespace
