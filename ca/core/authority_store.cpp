#include "authority_store.h"

#include <QDir>
#include <QFile>

void createAuthorityDirectory(const CaConfiguration& c)
{
    removeAuthorityDirectory(c.mConfDirPath);
    QDir data(QFileInfo(c.mConfDirPath).absolutePath());
    data.mkdir(c.mName);
    const QDir dir(c.mConfDirPath);
    for (const QString& sub :
         { c.mCertsDirName, c.mNewCertsDirName, c.mCrlDirName, c.mPrivateDirName, c.mReqDirName, c.mNewReqDirName }) {
        dir.mkdir(sub);
    }
    const QString serials[] = { c.mCertSerialFileName, c.mCrlSerialFileName };
    for (const QString& name : { c.mConfFileName, c.mXmlConfFileName, c.mDbFileName, c.mCaCertFileName, c.mCrlFileName,
                                 c.mCertSerialFileName, c.mCrlSerialFileName }) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            continue;
        }
        if (name == serials[0] || name == serials[1]) {
            file.write("01");
        }
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}

void removeAuthorityDirectory(const QString& path)
{
    QDir dir(path);
    if (dir.exists()) {
        dir.removeRecursively();
    }
}

bool writeConfiguration(const CaConfiguration& conf)
{
    const QByteArray text = configurationText(conf).toUtf8();
    QFile file(conf.mConfDirPath + QLatin1Char('/') + conf.mConfFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    return file.write(text) == text.size();
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
    return QDir(dataDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}
