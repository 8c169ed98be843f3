#pragma once

// Makes the current directory a fresh, empty one for the lifetime of the object: plan files live in the
// current directory, and no test may see another's files or leave any behind.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class ScratchDir {
public:
    ScratchDir() : previous_(QDir::currentPath())
    {
        QVERIFY2(dir_.isValid(), qPrintable(dir_.errorString()));
        QVERIFY(QDir::setCurrent(dir_.path()));
    }
    ~ScratchDir() { QDir::setCurrent(previous_); }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    QString path() const { return dir_.path(); }

    // Every entry of the directory, hidden ones included, sorted.
    QStringList entries() const
    {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                           QDir::Name);
    }

    static QByteArray read(const QString &name)
    {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll();
    }

    static void write(const QString &name, const QByteArray &bytes)
    {
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

private:
    QString previous_;
    QTemporaryDir dir_;
};
