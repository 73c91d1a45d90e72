// The page of a token's "Pliki" folder: the file system's figures, the list of token files, and
// the requests to add a local file, delete a token file and save one to a local file. The rows
// of the list belong to the file nodes; the folder node puts them in and takes them out.
#pragma once

#include "dev_zr40nn.h"

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class FileFolderWidget : public QWidget
{
    Q_OBJECT
public:
    explicit FileFolderWidget(QWidget* parent = nullptr);

    void insertFileWidgetItem(QTreeWidgetItem* item);
    // Takes the row out of the list without destroying it.
    void removeFileWidgetItem(QTreeWidgetItem* item);
    void sortFilesByName();
    QTreeWidget* fileTree() const { return mFileTree; }

signals:
    // The arguments are the emitting slot's locals, valid while the connected slots run.
    void addFileSig(QString& srcFileName, QString& dstFileName);
    void deleteFileSig(QString& fileName);
    void saveFileSig(QString& srcFileName, QString& dstFileName);

public slots:
    void setInfo(const DEV_ZR40NN_t* ut);
    // Adding and deleting need a login; saving never does.
    void enable();
    void disable();

private slots:
    void addFileSlot();
    void deleteFileSlot();
    void saveFileSlot();

private:
    QString currentFileName() const;

    QLabel* mFileSystemInfo;
    QTreeWidget* mFileTree;
    QPushButton* mAddFile;
    QPushButton* mDelFile;
    QPushButton* mSaveFile;
};
