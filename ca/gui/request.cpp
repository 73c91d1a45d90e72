#include "request.h"

#include <QIcon>

Request::Request()
{
    setIcon(0, QIcon(QStringLiteral(":img/add_user.png")));
}

void Request::setSubject(const QString& subject)
{
    setAll(subject);
    setText(0, commonName() + QStringLiteral(",  ") + organizationName());
}
