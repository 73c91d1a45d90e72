#include "unwired_pages.h"

#include "page_parts.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace morvil::admin;

namespace {
constexpr int kMaxRandomOctets = 100000000;
} // namespace

RbgWidget::RbgWidget(QWidget* parent)
    : QWidget(parent)
{
    mLayout = new QGridLayout(this);
    auto* countBox = new QGroupBox(tr("Liczba oktetów"));
    mNum = new QSpinBox;
    mNum->setObjectName(QStringLiteral("octets"));
    mNum->setMaximum(kMaxRandomOctets);
    (new QVBoxLayout(countBox))->addWidget(mNum);

    auto* formatBox = new QGroupBox(tr("Format zapisu"));
    auto* formats = new QVBoxLayout(formatBox);
    mBinaryAsciiFmt = new QRadioButton(tr("binarnie ASCII"));
    mHexAsciiFmt = new QRadioButton(tr("szesnastkowo ASCII"));
    mBinaryFmt = new QRadioButton(tr("binarnie"));
    for (QRadioButton* button : { mBinaryAsciiFmt, mHexAsciiFmt, mBinaryFmt }) {
        formats->addWidget(button);
    }
    mBinaryAsciiFmt->setChecked(true);
    mGenerate = iconButton(QStringLiteral(":img/random.png"), tr("Generuj do pliku"), QStringLiteral("generate"));

    mLayout->addWidget(countBox, 0, 0, 1, 3);
    mLayout->addWidget(formatBox, 1, 0, 1, 3);
    mLayout->addWidget(mGenerate, 2, 2);
    mLayout->setColumnStretch(1, 1);
    mLayout->setRowStretch(3, 1);
    connect(mGenerate, &QPushButton::pressed, this, &RbgWidget::generateSlot);
}

void RbgWidget::generateSlot()
{
    const int octets = mNum->value();
    int fmt = 0;
    if (mBinaryAsciiFmt->isChecked()) {
        fmt = kBinaryAscii;
    } else if (mHexAsciiFmt->isChecked()) {
        fmt = kHexAscii;
    } else if (mBinaryFmt->isChecked()) {
        fmt = kBinary;
    }
    QString fileName = QFileDialog::getSaveFileName(this, tr("Zapisz jako"));
    if (!fileName.isEmpty()) {
        emit generateSig(octets, fmt, fileName);
    }
}

DetInfoWidget::DetInfoWidget(QWidget* parent)
    : QWidget(parent)
    , mLayout(new QGridLayout(this))
{
}

void DetInfoWidget::setInfo(const DEV_ZR40NN_info_t* /*info*/) { }

ProgressWidget::ProgressWidget(QWidget* parent)
    : QWidget(parent)
    , mProgressBar(new QProgressBar)
{
    mProgressBar->setObjectName(QStringLiteral("progress"));
    (new QGridLayout(this))->addWidget(mProgressBar, 0, 0);
}

void ProgressWidget::setRange(int range)
{
    mRange = range;
    mProgressBar->setRange(0, range);
}

void ProgressWidget::setProgress(int progress)
{
    mProgress = progress < mRange ? progress : mRange;
    mProgressBar->setValue(mProgress);
}
