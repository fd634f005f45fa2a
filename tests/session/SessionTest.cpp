// The program as people run it: the real vistrel, started as a process of its
// own on an X server of the test's own (Xvfb), driven from outside with
// xdotool, looked at through screenshots of the server's screen.
//
// The executable is copied into a temporary folder, so that its settings file
// ("Setting.def", beside it) belongs to the test and the folder it opens at
// start-up has the working folder's parent in common with it.
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

// after GoogleTest, whose names Xlib's macros (None, Bool) would replace
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <functional>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kCaption = QStringLiteral("Vistrel v2.44");

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

// An Xvfb server on a free display number, and a connection to it.
class TXServer {
public:
    TXServer()
    {
        for (int number = 90 + getpid() % 100; number < 400 && !display_; number += 7) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
                continue;
            name_ = QStringLiteral(":%1").arg(number);
            pid_ = fork();
            if (pid_ == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);  // goes with the test, however it ends
                const QByteArray display = name_.toLatin1();
                execlp("Xvfb", "Xvfb", display.constData(), "-noreset", "-screen", "0", "1280x1024x24", "-nolisten",
                       "tcp", static_cast<char*>(nullptr));
                _exit(127);
            }
            // Up when it answers; gone (another server took the number) when it ended.
            WaitUntil([&] {
                display_ = XOpenDisplay(name_.toLatin1().constData());
                return display_ || waitpid(pid_, nullptr, WNOHANG) == pid_;
            }, 10000);
        }
        // A window may go between listing and asking about it: not fatal.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~TXServer()
    {
        if (display_)
            XCloseDisplay(display_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    QString Name() const { return name_; }
    bool Up() const { return display_ != nullptr; }

    struct TWindow {
        Window id;
        QString title;
        QRect frame;
    };
    // The shown top-level windows, in stacking order.
    std::vector<TWindow> Windows() const
    {
        std::vector<TWindow> shown;
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        XSync(display_, False);
        if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
            return shown;
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a;
            if (!XGetWindowAttributes(display_, children[i], &a) || a.map_state != IsViewable)
                continue;
            shown.push_back({children[i], Title(children[i]), QRect(a.x, a.y, a.width, a.height)});
        }
        XFree(children);
        return shown;
    }
    // What a window manager does for the close box: asks the window to close.
    void Close(Window window) const
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window, False, NoEventMask, &event);
        XFlush(display_);
    }
    Window Focus() const
    {
        Window focus = 0;
        int revert;
        XGetInputFocus(display_, &focus, &revert);
        return focus;
    }
    QImage Capture(const QRect& area) const
    {
        XImage* image = XGetImage(display_, DefaultRootWindow(display_), area.x(), area.y(),
                                  static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()), AllPlanes,
                                  ZPixmap);
        if (!image)
            return {};
        QImage copy = QImage(reinterpret_cast<const uchar*>(image->data), image->width, image->height,
                             image->bytes_per_line, QImage::Format_RGB32)
                          .copy();
        XDestroyImage(image);
        return copy;
    }

private:
    QString Title(Window window) const
    {
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* data = nullptr;
        QString title;
        if (XGetWindowProperty(display_, window, XInternAtom(display_, "_NET_WM_NAME", False), 0, 1024, False,
                               XInternAtom(display_, "UTF8_STRING", False), &type, &format, &items, &after,
                               &data) == Success &&
            data) {
            title = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(items));
            XFree(data);
        }
        return title;
    }
    pid_t pid_ = -1;
    QString name_;
    Display* display_ = nullptr;
};

// Two spinning processes per core, as on a desktop that is compiling.
class TBusyMachine {
public:
    TBusyMachine() : pids_(2 * std::max(1u, std::thread::hardware_concurrency()), -1)
    {
        for (pid_t& pid : pids_)
            if ((pid = fork()) == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                for (;;)
                    asm volatile("");
            }
    }
    ~TBusyMachine()
    {
        for (pid_t pid : pids_)
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
    }

private:
    std::vector<pid_t> pids_;
};

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x.Up()) << "Xvfb did not start";
        ASSERT_TRUE(QDir().mkpath(Bin()));
        exe = Bin() + QStringLiteral("/vistrel");
        ASSERT_TRUE(QFile::copy(QStringLiteral(VISTREL_EXECUTABLE), exe));
        WriteSettings(QStringLiteral("DataPath=") + QStringLiteral(VISTREL_SAMPLES_DIR) + QLatin1Char('\n'));
    }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }

    QString Path(const QString& relative) const { return QDir(temp.path()).filePath(relative); }
    // A working folder directly under the system's temporary folder.
    QString Work(const QString& relative = {}) const { return QDir::cleanPath(QDir(work.path()).filePath(relative)); }
    QString Bin() const { return Path(QStringLiteral("bin")); }
    QString Settings() const { return Bin() + QStringLiteral("/Setting.def"); }
    void WriteSettings(const QString& keys) const
    {
        QFile file(Settings());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[Settings]\n").toUtf8() + keys.toUtf8());
    }
    QString ReadSettings() const
    {
        QFile file(Settings());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    void Start(const QString& workingFolder, const QStringList& arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), x.Name());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        program.setProcessEnvironment(environment);
        program.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        program.setWorkingDirectory(workingFolder);
        program.start(exe, arguments);
        ASSERT_TRUE(program.waitForStarted(10000));
    }
    // The shown window whose title is exactly this; 0 when there is none.
    Window Shown(const QString& title) const
    {
        for (const TXServer::TWindow& w : x.Windows())
            if (w.title == title)
                return w.id;
        return 0;
    }
    bool WaitForWindow(const QString& title, int timeoutMs = 60000)
    {
        return WaitUntil([&] { return Shown(title) != 0 || Ended(); }, timeoutMs) && Shown(title) != 0;
    }
    // Without an event loop QProcess learns of the end only when asked.
    bool Ended() { return program.state() == QProcess::NotRunning || program.waitForFinished(0); }
    // A dialog over the main window, with the keyboard's focus: keys go to it.
    bool WaitForDialog(const QString& title = {}) const
    {
        return WaitUntil([&] {
            const std::vector<TXServer::TWindow> shown = x.Windows();
            return shown.size() == 2 && (title.isEmpty() || shown.back().title == title) &&
                   x.Focus() == shown.back().id;
        }, 30000);
    }
    // Closes the main window as the close box does; the program must end on
    // its own, cleanly.
    void CloseAndExpectCleanEnd(const QString& title)
    {
        x.Close(Shown(title));
        ExpectCleanEnd();
    }
    void ExpectCleanEnd()
    {
        ASSERT_TRUE(program.waitForFinished(30000)) << "the program did not end";
        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << errors.toStdString();
        EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
        EXPECT_FALSE(errors.contains(QStringLiteral("Sanitizer"))) << errors.toStdString();
        EXPECT_FALSE(errors.contains(QStringLiteral("runtime error"))) << errors.toStdString();
    }
    // One start from a folder: the window is shown after the start-up step
    // (which sets the caption), the program still runs a moment later, and
    // it closes cleanly.
    void StartShowAndClose(const QString& workingFolder, const std::function<void()>& whileStarting = {})
    {
        Start(workingFolder);
        if (whileStarting)
            whileStarting();
        ASSERT_TRUE(WaitForWindow(kCaption)) << State();
        QThread::msleep(250);
        ASSERT_FALSE(Ended()) << State();
        CloseAndExpectCleanEnd(kCaption);
    }
    // How the program is doing, for a failure's message.
    std::string State()
    {
        QString state = !Ended()                                  ? QStringLiteral("still running")
                        : program.exitStatus() == QProcess::CrashExit ? QStringLiteral("crashed")
                                                                     : QStringLiteral("exited with %1").arg(program.exitCode());
        return (state + QLatin1Char('\n') + QString::fromLocal8Bit(program.readAllStandardError())).toStdString();
    }
    void Xdo(const QStringList& arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), x.Name());
        QProcess xdotool;
        xdotool.setProcessEnvironment(environment);
        xdotool.start(QStringLiteral("xdotool"), arguments);
        ASSERT_TRUE(xdotool.waitForFinished(10000));
        ASSERT_EQ(xdotool.exitCode(), 0) << arguments.join(QLatin1Char(' ')).toStdString();
    }
    void Key(const QString& keys) const { Xdo({QStringLiteral("key"), keys}); }
    void Click(int x0, int y0) const
    {
        Xdo({QStringLiteral("mousemove"), QString::number(x0), QString::number(y0), QStringLiteral("click"),
             QStringLiteral("1")});
    }

    TXServer x;
    QTemporaryDir temp;
    QTemporaryDir work;
    QString exe;
    QProcess program;
};

// Pixels that differ by more than a little between two pictures.
int Differing(const QImage& a, const QImage& b)
{
    int n = 0;
    for (int y = 0; y < a.height() && y < b.height(); ++y)
        for (int x = 0; x < a.width() && x < b.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            n += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) > 30;
        }
    return n;
}

int Red(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
        }
    return n;
}

}  // namespace

// Started without arguments from several folders, 20 times each on a busy
// machine, the window comes up and the program keeps running. The folder list
// opens in the working folder and moves to the executable's folder at start-up.
TEST_F(SessionTest, StartsFromAnyFolderOnABusyMachine)
{
    ASSERT_TRUE(QDir().mkpath(Work(QStringLiteral("a/b"))));
    ASSERT_TRUE(QDir().mkpath(Work(QStringLiteral("c"))));
    const TBusyMachine busy;
    for (const QString& folder :
         {QStringLiteral("/"), Work(), QStringLiteral(VISTREL_SAMPLES_DIR)}) {
        for (int start = 0; start < 20; ++start) {
            SCOPED_TRACE(folder.toStdString() + ", start " + std::to_string(start));
            StartShowAndClose(folder);
            if (HasFailure())
                return;
        }
    }
    // A working folder deleted while the program starts and runs.
    for (int start = 0; start < 20 && !HasFailure(); ++start) {
        SCOPED_TRACE("deleted folder, start " + std::to_string(start));
        const QString doomed = Work(QStringLiteral("doomed%1").arg(start));
        ASSERT_TRUE(QDir().mkpath(doomed + QStringLiteral("/inner/sub")));
        StartShowAndClose(doomed + QStringLiteral("/inner"), [&] {
            QThread::msleep(static_cast<unsigned long>(start * 37 % 500));
            QDir(doomed).removeRecursively();
        });
    }
    if (HasFailure())
        return;
    // A model on the command line is shown; an editable one goes to the editor
    // (a script that notes its argument), and the program closes by itself.
    const QString model = QStringLiteral(VISTREL_SAMPLES_DIR "/tank.p3d");
    Start(Work(), {model});
    ASSERT_TRUE(WaitForWindow(kCaption + QStringLiteral(" [tank.p3d]")));
    CloseAndExpectCleanEnd(kCaption + QStringLiteral(" [tank.p3d]"));

    QFile editor(Path(QStringLiteral("editor.sh")));
    ASSERT_TRUE(editor.open(QIODevice::WriteOnly));
    editor.write("#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/edited\"\n");
    editor.close();
    editor.setPermissions(editor.permissions() | QFileDevice::ExeOwner);
    QFile editable(Work(QStringLiteral("box.p3d")));
    ASSERT_TRUE(editable.open(QIODevice::WriteOnly));
    editable.write(QByteArray("MLOD\x01\x01\x00\x00\x00\x00\x00\x00", 12));
    editable.close();
    WriteSettings(QStringLiteral("DataPath=/\nO2Path=") + editor.fileName() + QLatin1Char('\n'));
    Start(Work(), {editable.fileName()});
    ExpectCleanEnd();
    EXPECT_TRUE(WaitUntil([&] { return QFile::exists(Path(QStringLiteral("edited"))); }, 10000));
}

// A person's session: browse to a folder with the keyboard, pick each model
// of its file list in turn, click LODs and a selection, turn the model with
// the mouse, save it in the editable format, close, start again.
TEST_F(SessionTest, BrowsePickClickTurnSaveCloseAndStartAgain)
{
    const QString models = Work(QStringLiteral("models"));
    ASSERT_TRUE(QDir().mkpath(models));
    ASSERT_TRUE(QDir().mkpath(Work(QStringLiteral("other"))));
    const QString sample = QStringLiteral(VISTREL_SAMPLES_DIR "/tank.p3d");
    ASSERT_TRUE(QFile::copy(sample, models + QStringLiteral("/a_tank.p3d")));
    QFile tank(sample);
    ASSERT_TRUE(tank.open(QIODevice::ReadOnly));
    QFile broken(models + QStringLiteral("/b_broken.p3d"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(tank.read(3000));  // ends inside the first LOD
    broken.close();
    QFile editable(models + QStringLiteral("/c_editable.p3d"));
    ASSERT_TRUE(editable.open(QIODevice::WriteOnly));
    editable.write("MLOD");
    editable.close();
    ASSERT_TRUE(QFile::copy(sample, models + QStringLiteral("/d_tank.p3d")));
    WriteSettings(QStringLiteral("LastDir=%1\nDataPath=%2\nLeft=0\nTop=0\nWidth=1000\nHeight=760\n")
                      .arg(Work(), QStringLiteral(VISTREL_SAMPLES_DIR)));

    Start(Work());
    ASSERT_TRUE(WaitForWindow(kCaption));
    const QRect view(400, 40, 560, 680);  // inside the view, right of the middle column
    const auto titled = [&](const QString& name) {
        return WaitUntil([&] { return Shown(kCaption + QStringLiteral(" [") + name + QLatin1Char(']')) != 0; },
                         30000);
    };
    // The folder list: the root's entry (the top one) highlighted, the last
    // entry ("other") and the one before ("models"), entered with Enter.
    Click(60, 33);
    Key(QStringLiteral("End"));
    Key(QStringLiteral("Up"));
    Key(QStringLiteral("Return"));
    // Into the file list; each model in turn.
    Key(QStringLiteral("Tab"));
    Key(QStringLiteral("space"));
    ASSERT_TRUE(titled(QStringLiteral("a_tank.p3d")));
    Key(QStringLiteral("Down"));  // ends inside a LOD: the reader's message
    ASSERT_TRUE(WaitForDialog());
    Key(QStringLiteral("Return"));
    ASSERT_TRUE(titled(QStringLiteral("b_broken.p3d")));
    Key(QStringLiteral("Down"));  // editable: the editor question, answered No
    ASSERT_TRUE(WaitForDialog(QStringLiteral("Info")));
    Key(QStringLiteral("Escape"));
    ASSERT_TRUE(WaitUntil([&] { return Shown(QStringLiteral("Info")) == 0; }, 30000));
    QThread::msleep(300);
    const QImage empty = x.Capture(view);
    Key(QStringLiteral("Down"));
    ASSERT_TRUE(titled(QStringLiteral("d_tank.p3d")));
    QThread::msleep(300);
    const QImage lod1 = x.Capture(view);
    EXPECT_GT(Differing(empty, lod1), 2000) << "no model drawn, or the released one never cleared";

    Click(180, 33);  // LOD 4.000, the third entry
    ASSERT_TRUE(WaitUntil([&] { return Differing(lod1, x.Capture(view)) > 500; }, 10000));
    Click(180, 7);  // back to LOD 1.000
    ASSERT_TRUE(WaitUntil([&] { return Differing(lod1, x.Capture(view)) < 200; }, 10000));
    EXPECT_LT(Red(lod1), 50);
    Click(180, 302);  // "turret", second in the selections list: drawn in red
    ASSERT_TRUE(WaitUntil([&] { return Red(x.Capture(view)) > 500; }, 10000));

    const QImage before = x.Capture(view);
    Xdo({QStringLiteral("mousemove"), QStringLiteral("680"), QStringLiteral("380"), QStringLiteral("mousedown"),
         QStringLiteral("1"), QStringLiteral("mousemove"), QStringLiteral("760"), QStringLiteral("400"),
         QStringLiteral("mousemove"), QStringLiteral("820"), QStringLiteral("420"), QStringLiteral("mouseup"),
         QStringLiteral("1")});
    ASSERT_TRUE(WaitUntil([&] { return Differing(before, x.Capture(view)) > 1000; }, 10000));

    // "Save MLOD": the dialog proposes d_tank_MLOD.p3d; a path is typed.
    const QString saved = Path(QStringLiteral("d_tank_MLOD.p3d"));
    Click(330, 730);
    ASSERT_TRUE(WaitForDialog());
    QThread::msleep(300);
    Key(QStringLiteral("ctrl+a"));
    Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), saved});
    Key(QStringLiteral("Return"));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(saved); }, 30000));
    ASSERT_TRUE(WaitForDialog());  // "MLOD saved"
    Key(QStringLiteral("Return"));
    QFile written(saved);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.read(4), QByteArray("MLOD"));

    CloseAndExpectCleanEnd(kCaption + QStringLiteral(" [d_tank.p3d]"));
    const QString settings = ReadSettings();
    EXPECT_TRUE(settings.contains(QStringLiteral("LastDir=") + models + QLatin1Char('\n'))) << settings.toStdString();
    EXPECT_TRUE(settings.contains(QStringLiteral("Width=1000\n"))) << settings.toStdString();

    // Started again, the window opens where it was and the browser in the
    // folder it had open, which it saves again at the next close.
    Start(QDir::rootPath());
    ASSERT_TRUE(WaitForWindow(kCaption));
    CloseAndExpectCleanEnd(kCaption);
    EXPECT_EQ(ReadSettings(), settings);
}
