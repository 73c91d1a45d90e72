#include "authority_store.h"

#include "whole_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool createAuthorityDirectory(const CaConfiguration& c)
{
    removeAuthorityDirectory(c.mConfDirPath);
    QDir data(QFileInfo(c.mConfDirPath).absolutePath());
    bool made = data.mkdir(c.mName);
    const QDir dir(c.mConfDirPath);
    for (const QString& sub :
         { c.mCertsDirName, c.mNewCertsDirName, c.mCrlDirName, c.mPrivateDirName, c.mReqDirName, c.mNewReqDirName }) {
        made = dir.mkdir(sub) && made;
    }
    const QString serials[] = { c.mCertSerialFileName, c.mCrlSerialFileName };
    for (const QString& name : { c.mConfFileName, c.mXmlConfFileName, c.mDbFileName, c.mCaCertFileName, c.mCrlFileName,
                                 c.mCertSerialFileName, c.mCrlSerialFileName }) {
        const bool serial = name == serials[0] || name == serials[1];
        const QString path = dir.filePath(name);
        made = morvil::writeWholeFile(path, serial ? QByteArrayView("01") : QByteArrayView()) && made;
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return made;
}

void removeAuthorityDirectory(const QString& path)
{
    // A link goes by itself: what it points to lies outside the store. Inside a directory,
    // removeRecursively removes links without following them.
    if (QFileInfo(path).isSymLink()) {
        QFile::remove(path);
        return;
    }
    QDir dir(path);
    if (dir.exists()) {
        dir.removeRecursively();
    }
}

bool writeConfiguration(const CaConfiguration& conf)
{
    return morvil::writeWholeFile(conf.mConfDirPath + QLatin1Char('/') + conf.mConfFileName,
                                  configurationText(conf).toUtf8());
}

bool readConfiguration(CaConfiguration& conf)
{
    QFile file(conf.mConfDirPath + QLatin1Char('/') + conf.mConfFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    readConfigurationText(QString::fromUtf8(file.readAll()), conf);
    file.close();
    QFile marker(conf.mConfDirPath + QLatin1Char('/') + conf.mXmlConfFileName);
    return marker.open(QIODevice::ReadOnly);
}

QStringList authorityCandidates(const QString& dataDir)
{
    return QDir(dataDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
}

bool isListedRequestName(const QString& fileName)
{
    return !fileName.startsWith(QLatin1Char('.'));
}

QStringList pendingRequestNames(const QString& dirPath)
{
    QStringList names = QDir(dirPath).entryList(QDir::Files | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    names.removeIf([](const QString& name) { return !isListedRequestName(name); });
    return names;
}

qsizetype authorityInsertPosition(const QStringList& names, const QString& name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (QString::compare(names[i], name, Qt::CaseSensitive) > 0) {
            return i;
        }
    }
    return names.size();
}
