// Pages that belong to the program without being shown yet: no node makes them and nothing is
// connected to their signals. A form for random octets from the token, an empty page for detailed
// device information, and a progress page.
#pragma once

#include "dev_zr40nn.h"

#include <QString>
#include <QWidget>

class QGridLayout;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

class RbgWidget : public QWidget
{
    Q_OBJECT
public:
    // Output formats.
    static constexpr int kBinaryAscii = 1;
    static constexpr int kHexAscii = 2;
    static constexpr int kBinary = 3;
    explicit RbgWidget(QWidget* parent = nullptr);

signals:
    void generateSig(int octets, int fmt, QString& fileName);

private slots:
    void generateSlot();

private:
    QGridLayout* mLayout;
    QSpinBox* mNum;
    QRadioButton* mBinaryAsciiFmt;
    QRadioButton* mHexAsciiFmt;
    QRadioButton* mBinaryFmt;
    QPushButton* mGenerate;
};

class DetInfoWidget : public QWidget
{
    Q_OBJECT
public:
    explicit DetInfoWidget(QWidget* parent = nullptr);
    void setInfo(const DEV_ZR40NN_info_t* info);

private:
    QGridLayout* mLayout;
};

class ProgressWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ProgressWidget(QWidget* parent = nullptr);

public slots:
    void setRange(int range);
    // Shows `progress`, at most the range's upper end.
    void setProgress(int progress);

private:
    int mProgress = 0;
    int mRange = 0;
    QProgressBar* mProgressBar;
};
