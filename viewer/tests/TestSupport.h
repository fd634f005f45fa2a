// Helpers of the viewer's GUI tests.
#pragma once

#include "F_main.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <utility>
#include <vector>

namespace vistrel::test {

// Runs the event loop until the condition holds or the time is up.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

// A temporary folder with a few model names in it:
//   TANK.P3D  tank.p3d  tank.txt  sub/other.p3d  sub/deeper/
class TModelFolder {
public:
    TModelFolder() {
        Touch(QStringLiteral("TANK.P3D"));
        Touch(QStringLiteral("tank.p3d"));
        Touch(QStringLiteral("tank.txt"));
        QDir(Path()).mkpath(QStringLiteral("sub/deeper"));
        Touch(QStringLiteral("sub/other.p3d"));
    }
    QString Path() const { return QDir::toNativeSeparators(QDir::cleanPath(dir_.path())); }
    QString Sub() const { return File(QStringLiteral("sub")); }
    QString File(const QString& relative) const {
        return QDir::toNativeSeparators(QDir(dir_.path()).filePath(relative));
    }
    void Touch(const QString& relative) const {
        QFile file(QDir(dir_.path()).filePath(relative));
        file.open(QIODevice::WriteOnly);
        file.write("BMDL");
    }

private:
    QTemporaryDir dir_;
};

// The main window with its load routine watched.
class TWatchedMain : public TMain {
public:
    using TMain::TMain;
    std::vector<std::pair<QString, bool>> Loads;
    void LoadModel(const QString& fileName, bool fromCommandLine) override {
        Loads.emplace_back(fileName, fromCommandLine);
    }
};

}  // namespace vistrel::test
