// A request waiting in the authority's directory of new requests, and its row in the request
// tree: the common name, ",  " and the organisation.
#pragma once

#include "subject.h"

#include <QTreeWidgetItem>

class Request : public QTreeWidgetItem, public Subject
{
public:
    Request();
    Request(const Request&) = default;
    Request& operator=(const Request&) = default;
    virtual ~Request() = default;

    QString fileName() const { return mFileName; }
    QString subject() const { return all(); }

    void setFileName(const QString& fileName) { mFileName = fileName; }
    void setSubject(const QString& subject);

private:
    QString mFileName;
};
