// What the morvil_vpn window tests share: a store in a temporary directory made the working
// directory, files to choose, and the hand that works the modal windows the test opens.
#pragma once

#include "box_watcher.h"
#include "conf_file.h"
#include "connection_store.h"
#include "typed_file_names.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace morvil::test {

// A temporary store, the working directory while it lives, and a folder of files to choose from.
class TempStore
{
public:
    TempStore()
        : mBefore(QDir::currentPath())
    {
        QDir(mRoot.path()).mkdir(QStringLiteral("store"));
        QDir(mRoot.path()).mkdir(QStringLiteral("files"));
        QDir::setCurrent(mRoot.filePath(QStringLiteral("store")));
    }
    ~TempStore() { QDir::setCurrent(mBefore); }

    QDir dir() const { return QDir(mRoot.filePath(QStringLiteral("store"))); }
    QString path(const QString& relative) const { return dir().filePath(relative); }

    // A file outside the store, with its full path.
    QString file(const QString& name, const QByteArray& data) const
    {
        const QString path = mRoot.filePath(QStringLiteral("files/") + name);
        QFile out(path);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(data);
        }
        return path;
    }

    QByteArray read(const QString& relative) const
    {
        QFile in(path(relative));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
    }

    // A connection as the new-connection window writes it.
    QString add(const vpn::ConfHeader& header, const QByteArray& templateData = {}) const
    {
        QString name;
        const QString error = vpn::createConnection(dir(), { vpn::newConf(header, templateData), "CA", "USER" }, name);
        return error.isEmpty() ? name : QString();
    }

private:
    QTemporaryDir mRoot;
    QString mBefore;
};

// Runs `work` on the next modal window of type T (not a message box: the box watcher answers
// those) once it is up.
template <typename T> void onNextModal(std::function<void(T*)> work)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, work] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window != nullptr && window->isVisible()) {
            timer->stop();
            timer->deleteLater();
            work(window);
        }
    });
    timer->start();
}

// Answers the next file dialog with `path`.
inline void chooseFile(const QString& path)
{
    onNextModal<QFileDialog>([path](QFileDialog* dialog) { scripted::typeFileName(*dialog, path); });
}

// Scripts an error box whose text the test does not pin down (it carries a path).
inline BoxAnswer anyError()
{
    BoxAnswer answer;
    answer.icon = QMessageBox::Critical;
    answer.title = QStringLiteral("Błąd");
    return answer;
}

inline QLineEdit* edit(QWidget* window, const char* name)
{
    return window->findChild<QLineEdit*>(QLatin1String(name));
}

inline QPushButton* button(QWidget* window, const char* name)
{
    return window->findChild<QPushButton*>(QLatin1String(name));
}

} // namespace morvil::test
