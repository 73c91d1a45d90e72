#include "ca.h"

#include "authority_store.h"
#include "ca_views.h"
#include "secret_bytes.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

QString currentDirectory()
{
    return QDir::currentPath();
}

QString& defaultOpensslCmd()
{
    static QString path;
    return path;
}

} // namespace

CA::CA()
    : mOpensslCmd(defaultOpensslCmd().isEmpty()
                      ? QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/morvil_openssl")
                      : defaultOpensslCmd())
{
}

void CA::setDefaultOpensslCmd(const QString& path)
{
    defaultOpensslCmd() = path;
}

CA::~CA()
{
    mUserPin.forget();
}

void CA::setName(const QString& name)
{
    mConf.setName(name, currentDirectory());
}

void CA::setPolicy(const QString& countryName, const QString& stateOrProvinceName, const QString& localityName,
                   const QString& organizationName, const QString& organizationalUnitName, const QString& commonName,
                   const QString& emailAddress)
{
    mConf.mPolicyCountryName = countryName;
    mConf.mPolicyStateOrProvinceName = stateOrProvinceName;
    mConf.mPolicyLocalityName = localityName;
    mConf.mPolicyOrganizationName = organizationName;
    mConf.mPolicyOrganizationalUnitName = organizationalUnitName;
    mConf.mPolicyCommonName = commonName;
    mConf.mPolicyEmailAddress = emailAddress;
}

QList<CA> CA::findAll(QString path)
{
    QList<CA> found;
    for (const QString& name : authorityCandidates(path)) {
        CA ca;
        ca.setName(name);
        if (ca.readConfiguration()) {
            found.append(std::move(ca));
        }
    }
    return found;
}

bool CA::createConfDir()
{
    return createAuthorityDirectory(mConf);
}

void CA::deleteConfDir()
{
    removeAuthorityDirectory(mConf.mConfDirPath);
}

bool CA::writeConfiguration()
{
    return ::writeConfiguration(mConf);
}

bool CA::readConfiguration()
{
    return ::readConfiguration(mConf);
}

bool CA::close(QWidget*)
{
    mUserPin.forget();
    for (QTreeWidget** tree : { &mCertTreeWidget, &mReqTreeWidget }) {
        if (*tree != nullptr) {
            detachRows(*tree);
            *tree = nullptr;
        }
    }
    for (QTextEdit** pane : { &mCertInfoTextEdit, &mReqInfoTextEdit }) {
        if (*pane != nullptr) {
            (*pane)->clear();
            *pane = nullptr;
        }
    }
    return true;
}
