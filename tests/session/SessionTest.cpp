// The program as people run it: the real vistrel, started as a process of its
// own on an X server of the test's own (Xvfb), driven from outside with
// xdotool, looked at through screenshots of that server's screen.
//
// The executable is copied into a temporary folder, so that its settings file
// (beside it) belongs to the test, and the folder it opens at start-up shares
// a parent (/tmp) with the working folder.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

// after GoogleTest, whose names Xlib's macros (None, Bool) would replace
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kCaption = QStringLiteral("Vistrel v2.44");
const QString kSamples = QStringLiteral(VISTREL_SAMPLES_DIR);

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QThread::msleep(20);
    }
    return true;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

// A child that goes with the test however the test ends.
pid_t Fork() {
    const pid_t pid = fork();
    if (pid == 0) prctl(PR_SET_PDEATHSIG, SIGKILL);
    return pid;
}

void Reap(pid_t pid, int signal) {
    if (pid > 0) {
        kill(pid, signal);
        waitpid(pid, nullptr, 0);
    }
}

// An Xvfb server on a free display number, and a connection to it.
class TXServer {
public:
    TXServer() {
        for (int number = 90 + getpid() % 100; number < 400 && !display_; number += 7) {
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) continue;
            name_ = QStringLiteral(":%1").arg(number);
            const QByteArray display = name_.toLatin1();
            if ((pid_ = Fork()) == 0) {
                execlp("Xvfb", "Xvfb", display.constData(), "-noreset", "-screen", "0", "1280x1024x24", "-nolisten",
                       "tcp", static_cast<char*>(nullptr));
                _exit(127);
            }
            // Up when it answers; gone (another server took the number) when it ended.
            WaitUntil([&] { return (display_ = XOpenDisplay(display)) || waitpid(pid_, nullptr, WNOHANG) == pid_; },
                      10000);
        }
        // A window may go between listing and asking about it: not fatal.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~TXServer() {
        if (display_) XCloseDisplay(display_);
        Reap(pid_, SIGTERM);
    }
    QString Name() const { return name_; }
    bool Up() const { return display_ != nullptr; }

    // The titles (_NET_WM_NAME, what a window manager shows) of the shown
    // top-level windows, bottom to top.
    std::vector<std::pair<Window, QString>> Windows() const {
        std::vector<std::pair<Window, QString>> shown;
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        XSync(display_, False);
        XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a;
            Atom type;
            int format;
            unsigned long length, after;
            unsigned char* title = nullptr;
            if (!XGetWindowAttributes(display_, children[i], &a) || a.map_state != IsViewable) continue;
            XGetWindowProperty(display_, children[i], XInternAtom(display_, "_NET_WM_NAME", False), 0, 1024, False,
                               XInternAtom(display_, "UTF8_STRING", False), &type, &format, &length, &after, &title);
            shown.emplace_back(children[i], QString::fromUtf8(reinterpret_cast<char*>(title),
                                                              static_cast<qsizetype>(title ? length : 0)));
            if (title) XFree(title);
        }
        if (children) XFree(children);
        return shown;
    }
    Window Focus() const {
        Window focus = 0;
        int revert;
        XGetInputFocus(display_, &focus, &revert);
        return focus;
    }
    // What a window manager does for the close box: asks the window to close.
    void Close(Window window) const {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        XSendEvent(display_, window, False, NoEventMask, &event);
        XFlush(display_);
    }
    // Where a shown top-level window is, on the screen (no window manager: its
    // own place).
    QRect Geometry(Window window) const {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, window, &a)) return {};
        return {a.x, a.y, a.width, a.height};
    }
    QImage Capture(const QRect& area) const {
        XImage* image =
            XGetImage(display_, DefaultRootWindow(display_), area.x(), area.y(), static_cast<unsigned>(area.width()),
                      static_cast<unsigned>(area.height()), AllPlanes, ZPixmap);
        if (!image) return {};
        QImage copy = QImage(reinterpret_cast<uchar*>(image->data), image->width, image->height, image->bytes_per_line,
                             QImage::Format_RGB32)
                          .copy();
        XDestroyImage(image);
        return copy;
    }

private:
    pid_t pid_ = -1;
    QString name_;
    Display* display_ = nullptr;
};

// Two spinning processes per core, as on a desktop that is compiling.
class TBusyMachine {
public:
    TBusyMachine() : pids_(2 * std::max(1u, std::thread::hardware_concurrency()), -1) {
        for (pid_t& pid : pids_)
            if ((pid = Fork()) == 0)
                for (;;) asm volatile("");
    }
    ~TBusyMachine() {
        for (pid_t pid : pids_) Reap(pid, SIGKILL);
    }

private:
    std::vector<pid_t> pids_;
};

// Pixels that differ by more than a little between two pictures.
int Differing(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            n += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) > 30;
        }
    return n;
}

int Red(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) < 60 && qBlue(image.pixel(x, y)) < 60;
    return n;
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x.Up()) << "Xvfb did not start";
        ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("bin"))));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VISTREL_EXECUTABLE), exe));
        WriteSettings(QStringLiteral("DataPath=") + kSamples + QLatin1Char('\n'));
    }
    void TearDown() override {
        program.kill();
        program.waitForFinished(5000);
    }

    QString Path(const QString& relative) const { return QDir(temp.path()).filePath(relative); }
    // The working folder, directly under /tmp, and what is in it.
    QString Work(const QString& relative = {}) const { return QDir::cleanPath(QDir(work.path()).filePath(relative)); }
    void WriteSettings(const QString& keys) const { Write(settings, "[Settings]\n" + keys.toUtf8()); }
    QString ReadSettings() const {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    void Start(const QString& workingFolder, const QStringList& arguments = {}) {
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
    // Without an event loop QProcess learns of the end only when asked.
    bool Ended() { return program.state() == QProcess::NotRunning || program.waitForFinished(0); }
    // How the program is doing, for a failure's message.
    std::string State() {
        const QString state = !Ended() ? QStringLiteral("still running")
                              : program.exitStatus() == QProcess::CrashExit
                                  ? QStringLiteral("crashed")
                                  : QStringLiteral("exited with %1").arg(program.exitCode());
        return (state + QLatin1Char('\n') + QString::fromLocal8Bit(program.readAllStandardError())).toStdString();
    }
    // The shown window with exactly this title; 0 when there is none.
    Window Shown(const QString& title) const {
        for (const auto& [id, shownTitle] : x.Windows())
            if (shownTitle == title) return id;
        return 0;
    }
    bool WaitForWindow(const QString& title, int timeoutMs = 60000) {
        return WaitUntil([&] { return Shown(title) != 0 || Ended(); }, timeoutMs) && Shown(title) != 0;
    }
    // The screen in `area` once it stops changing: a window just mapped or
    // uncovered paints a moment later, seconds later on a loaded machine.
    QImage Settled(const QRect& area) const {
        QImage last = x.Capture(area);
        for (int k = 0; k < 40; ++k) {
            QThread::msleep(250);
            QImage now = x.Capture(area);
            if (Differing(last, now) == 0) return now;
            last = std::move(now);
        }
        return last;
    }
    // A dialog over the main window with the keyboard's focus: keys go to it.
    bool WaitForDialog(const QString& title = {}) const {
        return WaitUntil([&] {
            const auto shown = x.Windows();
            return shown.size() == 2 && (title.isEmpty() || shown.back().second == title) &&
                   x.Focus() == shown.back().first;
        });
    }
    // The program ends by itself (the main window closed), cleanly.
    void ExpectCleanEnd() {
        ASSERT_TRUE(program.waitForFinished(30000)) << "the program did not end";
        const std::string state = State();
        // The sanitizer's leak check stops the program's threads with a helper
        // that now and then dies on its own ("Tracer caught signal", a known
        // intermittent fault of the tool); the program had ended normally then,
        // and its check is lost, not failed.
        if (state.find("Tracer caught signal") != std::string::npos &&
            state.find("LeakSanitizer has encountered a fatal error") != std::string::npos) {
            std::fprintf(stderr, "note: the leak check's helper died; this end is not judged\n%s\n", state.c_str());
            return;
        }
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << state;
        EXPECT_EQ(program.exitCode(), 0) << state;
        EXPECT_EQ(state.find("Sanitizer"), std::string::npos) << state;
        EXPECT_EQ(state.find("runtime error"), std::string::npos) << state;
    }
    void CloseAndExpectCleanEnd(const QString& title) {
        x.Close(Shown(title));
        ExpectCleanEnd();
    }
    // One start: the window comes up after the start-up step (which sets the
    // caption), the program still runs a moment later, and it closes cleanly.
    void StartShowAndClose(const QString& workingFolder, const std::function<void()>& whileStarting = {}) {
        Start(workingFolder);
        if (whileStarting) whileStarting();
        ASSERT_TRUE(WaitForWindow(kCaption)) << State();
        QThread::msleep(250);
        ASSERT_FALSE(Ended()) << State();
        CloseAndExpectCleanEnd(kCaption);
    }
    void Xdo(const QString& arguments) const {
        QProcess xdotool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), x.Name());
        xdotool.setProcessEnvironment(environment);
        xdotool.start(QStringLiteral("xdotool"), arguments.split(QLatin1Char(' ')));
        ASSERT_TRUE(xdotool.waitForFinished(10000));
        ASSERT_EQ(xdotool.exitCode(), 0) << arguments.toStdString();
    }
    void Key(const QString& key) const { Xdo(QStringLiteral("key ") + key); }
    void Click(int at, int y) const { Xdo(QStringLiteral("mousemove %1 %2 click 1").arg(at).arg(y)); }

    TXServer x;
    QTemporaryDir temp;
    QTemporaryDir work;
    QString exe = Path(QStringLiteral("bin/vistrel"));
    QString settings = Path(QStringLiteral("bin/Setting.def"));
    QProcess program;
};

}  // namespace

// Started without arguments from several folders, 20 times each on a busy
// machine, the window comes up and the program keeps running. The folder list
// opens in the working folder and moves to the executable's at start-up.
TEST_F(SessionTest, StartsFromAnyFolderOnABusyMachine) {
    ASSERT_TRUE(QDir().mkpath(Work(QStringLiteral("a/b"))) && QDir().mkpath(Work(QStringLiteral("c"))));
    const TBusyMachine busy;
    for (const QString& folder : {QStringLiteral("/"), Work(), kSamples}) {
        for (int start = 0; start < 20 && !HasFailure(); ++start) {
            SCOPED_TRACE(folder.toStdString() + ", start " + std::to_string(start));
            StartShowAndClose(folder);
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
    if (HasFailure()) return;
    // A model on the command line is shown; an editable one goes to the editor
    // (a script that notes its argument), and the program closes by itself.
    Start(Work(), {kSamples + QStringLiteral("/tank.p3d")});
    ASSERT_TRUE(WaitForWindow(kCaption + QStringLiteral(" [tank.p3d]"))) << State();
    CloseAndExpectCleanEnd(kCaption + QStringLiteral(" [tank.p3d]"));

    const QString editor = Path(QStringLiteral("editor.sh"));
    Write(editor, "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/edited\"\n");
    QFile::setPermissions(editor, QFile::permissions(editor) | QFileDevice::ExeOwner);
    Write(Work(QStringLiteral("box.p3d")), "MLOD");
    WriteSettings(QStringLiteral("DataPath=/\nO2Path=") + editor + QLatin1Char('\n'));
    Start(Work(), {Work(QStringLiteral("box.p3d"))});
    ExpectCleanEnd();
    EXPECT_TRUE(WaitUntil([&] { return QFile::exists(Path(QStringLiteral("edited"))); }, 10000));
}

// A person's session: browse to a folder with the keyboard, pick each model
// of its file list in turn, click LODs and a selection, turn the model with
// the mouse, save it in the editable format, close, start again.
TEST_F(SessionTest, BrowsePickClickTurnSaveCloseAndStartAgain) {
    const QString models = Work(QStringLiteral("models"));
    ASSERT_TRUE(QDir().mkpath(models) && QDir().mkpath(Work(QStringLiteral("other"))));
    QFile tank(kSamples + QStringLiteral("/tank.p3d"));
    ASSERT_TRUE(tank.open(QIODevice::ReadOnly));
    const QByteArray bytes = tank.readAll();
    Write(models + QStringLiteral("/a_tank.p3d"), bytes);
    Write(models + QStringLiteral("/b_editable.p3d"), "MLOD");
    Write(models + QStringLiteral("/c_broken.p3d"), bytes.left(3000));  // ends inside the first LOD
    Write(models + QStringLiteral("/d_tank.p3d"), bytes);
    WriteSettings(
        QStringLiteral("LastDir=%1\nDataPath=%2\nLeft=0\nTop=0\nWidth=1000\nHeight=760\n").arg(Work(), kSamples));

    Start(Work());
    ASSERT_TRUE(WaitForWindow(kCaption)) << State();
    // where the settings put it, before anything is clicked (a slow start
    // may show the window first)
    ASSERT_TRUE(WaitUntil([&] { return x.Geometry(Shown(kCaption)) == QRect(0, 0, 1000, 760); })) << State();
    const QRect view(400, 40, 560, 680);  // inside the view, right of the middle column
    const auto titled = [&](const QString& name) {
        return WaitUntil([&] { return Shown(kCaption + QStringLiteral(" [%1]").arg(name)) != 0; });
    };
    // In the folder list the root's entry (the top one) is highlighted, then
    // the last entry ("other") and the one above it ("models"), entered; a
    // moment for each step on a loaded machine.
    Click(60, 33);
    for (const char* key : {"End", "Up", "Return", "Tab", "space"}) {  // then into the file list: its first model
        QThread::msleep(200);
        Key(QString::fromLatin1(key));
    }
    ASSERT_TRUE(titled(QStringLiteral("a_tank.p3d")));
    QThread::msleep(300);
    const QImage shown = x.Capture(view);
    Key(QStringLiteral("Down"));  // the editor question, answered No: the model goes, and its picture
    ASSERT_TRUE(WaitForDialog(QStringLiteral("Info")));
    Key(QStringLiteral("Escape"));
    ASSERT_TRUE(WaitUntil([&] { return x.Windows().size() == 1; }));
    QThread::msleep(300);
    const QImage empty = x.Capture(view);
    EXPECT_GT(Differing(shown, empty), 2000) << "the released model's picture stays";
    Key(QStringLiteral("Down"));  // the reader's message
    ASSERT_TRUE(WaitForDialog());
    Key(QStringLiteral("Return"));
    ASSERT_TRUE(titled(QStringLiteral("c_broken.p3d")));
    Key(QStringLiteral("Down"));
    ASSERT_TRUE(titled(QStringLiteral("d_tank.p3d")));
    QThread::msleep(300);
    const QImage lod1 = x.Capture(view);
    EXPECT_GT(Differing(empty, lod1), 2000) << "no model drawn";

    Click(180, 33);  // LOD 4.000, the third entry
    ASSERT_TRUE(WaitUntil([&] { return Differing(lod1, x.Capture(view)) > 500; }, 10000));
    Click(180, 7);  // back to LOD 1.000
    ASSERT_TRUE(WaitUntil([&] { return Differing(lod1, x.Capture(view)) < 200; }, 10000));
    EXPECT_LT(Red(lod1), 50);
    Click(180, 302);  // "turret", second in the selections list: drawn in red
    ASSERT_TRUE(WaitUntil([&] { return Red(x.Capture(view)) > 500; }, 10000));

    const QImage before = x.Capture(view);
    Xdo(QStringLiteral("mousemove 680 380 mousedown 1 mousemove 760 400 mousemove 820 420 mouseup 1"));
    ASSERT_TRUE(WaitUntil([&] { return Differing(before, x.Capture(view)) > 1000; }, 10000));

    // "Save MLOD": the dialog proposes d_tank_MLOD.p3d; a path is typed.
    const QString saved = Path(QStringLiteral("d_tank_MLOD.p3d"));
    Click(330, 730);
    ASSERT_TRUE(WaitForDialog());
    QThread::msleep(300);
    Key(QStringLiteral("ctrl+a"));
    Xdo(QStringLiteral("type --delay 20 ") + saved);
    Key(QStringLiteral("Return"));
    ASSERT_TRUE(WaitForDialog());  // "MLOD saved"
    Key(QStringLiteral("Return"));
    QFile written(saved);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.read(4), QByteArray("MLOD"));

    CloseAndExpectCleanEnd(kCaption + QStringLiteral(" [d_tank.p3d]"));
    const QString kept = ReadSettings();
    EXPECT_TRUE(kept.contains(QStringLiteral("LastDir=") + models + QLatin1Char('\n'))) << kept.toStdString();
    EXPECT_TRUE(kept.contains(QStringLiteral("Width=1000\n"))) << kept.toStdString();

    // Started again, the window opens where it was and the browser in the
    // folder it had open, which it saves again at the next close.
    Start(QDir::rootPath());
    ASSERT_TRUE(WaitForWindow(kCaption)) << State();
    CloseAndExpectCleanEnd(kCaption);
    EXPECT_EQ(ReadSettings(), kept);
}

// Two quick Down presses in the file list: the second arrives while the
// first pick loads. It is not handled inside that
// load (which would load its model inside the first one) but after it: the
// window ends on the file the list's cursor is on, with no load's message
// (its missing textures) twice. A key that comes while a message is up is
// the message box's.
TEST_F(SessionTest, QuickPicksEndOnTheCursorsFileWithEachMessageOnce) {
    const QString models = Work(QStringLiteral("models"));
    ASSERT_TRUE(QDir().mkpath(models) && QDir().mkpath(Work(QStringLiteral("empty"))));
    QFile tank(kSamples + QStringLiteral("/tank.p3d"));
    ASSERT_TRUE(tank.open(QIODevice::ReadOnly));
    const QByteArray bytes = tank.readAll();
    const QStringList names{QStringLiteral("a.p3d"), QStringLiteral("b.p3d"), QStringLiteral("c.p3d")};
    for (const QString& name : names) Write(models + QLatin1Char('/') + name, bytes);
    WriteSettings(QStringLiteral("LastDir=%1\nDataPath=%2\nLeft=0\nTop=0\nWidth=1000\nHeight=760\n")
                      .arg(models, Work(QStringLiteral("empty"))));
    // the first file from the command line: the file list shows it chosen
    Start(Work(), {models + QStringLiteral("/a.p3d")});
    ASSERT_TRUE(WaitForDialog()) << State();  // a.p3d's textures are not found
    Key(QStringLiteral("Return"));
    ASSERT_TRUE(WaitUntil([&] { return Shown(kCaption + QStringLiteral(" [a.p3d]")) != 0; })) << State();
    Click(60, 327);  // its row: the file list takes the keys

    Xdo(QStringLiteral("key --delay 0 Down Down"));
    int messages = 0;
    while (WaitUntil([&] { return x.Windows().size() == 2; }, 4000)) {
        ASSERT_TRUE(WaitForDialog());
        ASSERT_LT(++messages, 3) << "a load came twice";
        Key(QStringLiteral("Return"));
        ASSERT_TRUE(WaitUntil([&] { return x.Windows().size() == 1; }));
    }
    // The row the list's cursor is on (the highlighted one, rows of 13
    // pixels from the list's top) is the file the caption names.
    const QImage list = x.Capture(QRect(0, 320, 130, 40));
    int cursor = -1;
    for (int row = 0; row < 3; ++row) {
        const QRgb p = list.pixel(110, 7 + 13 * row);
        if (qBlue(p) > 150 && qRed(p) < 120) cursor = row;
    }
    ASSERT_GE(cursor, 1) << "no row highlighted below the first";
    EXPECT_EQ(messages, cursor);
    const QString shown = kCaption + QStringLiteral(" [%1]").arg(names[cursor]);
    EXPECT_NE(Shown(shown), 0u) << "not on the cursor's file";
    CloseAndExpectCleanEnd(shown);
}

namespace {

// Pixels of the model: neither the view's background nor the light marker.
int ModelPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const bool background = std::abs(qRed(p) - 153) + std::abs(qGreen(p) - 204) + std::abs(qBlue(p) - 255) < 12;
            const bool marker = qRed(p) > 120 && qGreen(p) > 120 && qBlue(p) < 90;
            n += !background && !marker;
        }
    return n;
}

}  // namespace

// The view as people reach for it: "Data Dir" textures the model on show at
// once; the wheel and "+" bring it nearer, Home frames it again; "B" shows a
// flat model from behind; after an editable file answered No the labels read
// as at start.
TEST_F(SessionTest, TextureRootWheelKeysBackFacesAndNoStaleLabels) {
    const QString models = Work(QStringLiteral("models"));
    ASSERT_TRUE(QDir().mkpath(models) && QDir().mkpath(Work(QStringLiteral("empty"))));
    ASSERT_TRUE(QFile::copy(kSamples + QStringLiteral("/tank.p3d"), models + QStringLiteral("/tank.p3d")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VISTREL_CORPUS_DIR "/models/vx/optics/flat.p3d"),
                            models + QStringLiteral("/flat.p3d")));
    Write(models + QStringLiteral("/box.p3d"), "MLOD");
    WriteSettings(
        QStringLiteral("DataPath=%1\nLeft=0\nTop=0\nWidth=1000\nHeight=760\n").arg(Work(QStringLiteral("empty"))));
    const QRect view(400, 40, 560, 680);
    const QRect counts(135, 220, 230, 55);
    const auto titled = [&](const QString& name) {
        return WaitUntil([&] { return Shown(kCaption + QStringLiteral(" [%1]").arg(name)) != 0; });
    };
    const auto answer = [&](const QString& key) {
        EXPECT_TRUE(WaitForDialog()) << State();
        Key(key);
        EXPECT_TRUE(WaitUntil([&] { return x.Windows().size() == 1; }));
    };

    // From the samples' folder, where the folder picker opens.
    Start(kSamples, {models + QStringLiteral("/tank.p3d")});
    answer(QStringLiteral("Return"));  // its textures are not under the empty root
    ASSERT_TRUE(titled(QStringLiteral("tank.p3d"))) << State();
    QThread::msleep(300);
    const QImage untextured = x.Capture(view);
    Click(252, 730);  // "Data Dir": the picker, on OK
    ASSERT_TRUE(WaitForDialog(QStringLiteral("Pick Directory"))) << State();
    const QRect picker = x.Geometry(x.Windows().back().first);
    Click(picker.left() + 50, picker.bottom() - 20);  // its OK button, at the lower left
    ASSERT_TRUE(WaitUntil([&] { return x.Windows().size() == 1; }, 10000)) << "the picker stays";
    EXPECT_TRUE(WaitUntil([&] { return Differing(untextured, x.Capture(view)) > 2000; }, 10000)) << "not textured";
    QThread::msleep(300);
    EXPECT_EQ(x.Windows().size(), 1u) << "a message on a root that has the textures";

    Click(680, 380);  // the view takes the keys (a click without a drag turns nothing)
    QThread::msleep(300);
    const QImage fitted = x.Capture(view);
    const int near0 = ModelPixels(fitted);
    Xdo(QStringLiteral("click 4"));  // a wheel notch away from the user
    ASSERT_TRUE(WaitUntil([&] { return ModelPixels(x.Capture(view)) > near0 * 1.2; }, 10000)) << "the wheel";
    const int near1 = ModelPixels(x.Capture(view));
    Key(QStringLiteral("plus"));
    ASSERT_TRUE(WaitUntil([&] { return ModelPixels(x.Capture(view)) > near1 * 1.2; }, 10000)) << "+";
    Key(QStringLiteral("Home"));
    EXPECT_TRUE(WaitUntil([&] { return Differing(fitted, x.Capture(view)) < 50; }, 10000)) << "Home";

    // The flat model: from one side it shows, from the other only with "B".
    Click(60, 340);                    // its row in the file list
    answer(QStringLiteral("Return"));  // its texture is missing
    ASSERT_TRUE(titled(QStringLiteral("flat.p3d")));
    QThread::msleep(300);
    const int front = ModelPixels(x.Capture(view));
    Click(680, 380);
    for (int k = 0; k < 12; ++k) Key(QStringLiteral("Right"));  // half a turn
    QThread::msleep(500);
    int shown = ModelPixels(x.Capture(view));
    if (shown > front) {  // it looked away first: turn it back so that it does
        for (int k = 0; k < 12; ++k) Key(QStringLiteral("Right"));
        QThread::msleep(500);
        shown = ModelPixels(x.Capture(view));
    }
    ASSERT_LT(shown, 50) << "a side with nothing to see";
    Key(QStringLiteral("b"));
    EXPECT_TRUE(WaitUntil([&] { return ModelPixels(x.Capture(view)) > 500; }, 10000)) << "B";
    const QImage withLabels = x.Capture(counts);

    Click(60, 327);  // the editable one, answered No
    answer(QStringLiteral("Escape"));
    const QImage afterNo = Settled(counts);
    CloseAndExpectCleanEnd(kCaption);
    Start(Work());  // labels as at start
    ASSERT_TRUE(WaitForWindow(kCaption)) << State();
    QImage atStart;  // the new window paints a moment after it shows
    WaitUntil([&] { return Differing(afterNo, atStart = x.Capture(counts)) < 5; }, 15000);
    EXPECT_GT(Differing(withLabels, atStart), 20);
    EXPECT_LT(Differing(afterNo, atStart), 5)
        << "the released model's counts stay; windows shown: " << x.Windows().size()
        << ", the labels left as labels-*.png";
    if (Differing(afterNo, atStart) >= 5)
        afterNo.save(QStringLiteral("labels-after-no.png")), atStart.save(QStringLiteral("labels-at-start.png"));
    CloseAndExpectCleanEnd(kCaption);
}

// The file column dragged wider and the picker's size given are kept across
// a restart. (That "Please Wait" is down under a box: LoadingTest.)
TEST_F(SessionTest, FileColumnAndPickerSizeAreKeptAcrossARestart) {
    WriteSettings(QStringLiteral("DataPath=%1\nLeft=0\nTop=0\nWidth=1000\nHeight=760\n").arg(kSamples));
    Start(Work());
    ASSERT_TRUE(WaitForWindow(kCaption)) << State();
    Xdo(QStringLiteral("mousemove 135 500 mousedown 1 mousemove 200 500 mousemove 335 500 mouseup 1"));
    for (const QSize size : {QSize(400, 480), QSize(520, 560)}) {
        Click(452, 730);  // "Data Dir", moved along with the column
        ASSERT_TRUE(WaitForDialog(QStringLiteral("Pick Directory"))) << State();
        const Window picker = x.Windows().back().first;
        EXPECT_EQ(x.Geometry(picker).size(), size);
        Xdo(QStringLiteral("windowsize %1 520 560").arg(picker));
        ASSERT_TRUE(WaitUntil([&] { return x.Geometry(picker).size() == QSize(520, 560); }, 10000));
        Key(QStringLiteral("Escape"));
        ASSERT_TRUE(WaitUntil([&] { return x.Windows().size() == 1; }));
        CloseAndExpectCleanEnd(kCaption);
        EXPECT_TRUE(ReadSettings().contains(
            QRegularExpression(QStringLiteral("\nFileColumnWidth=33[2-6]\nPickDirWidth=520\nPickDirHeight=560\n"))))
            << ReadSettings().toStdString();
        Start(Work());  // again: the column where it was left (else "Data Dir" is missed)
        ASSERT_TRUE(WaitForWindow(kCaption)) << State();
    }
}
