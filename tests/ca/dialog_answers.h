// Answers for the modal dialogs of the authority that are neither message boxes nor file dialogs
// (file_dialog_answer.h answers those): whatever a test fills in itself while the dialog runs.
#pragma once

#include <QApplication>
#include <QTimer>

#include <functional>

namespace morvil::test {

// Runs fill on the next modal widget of type Dialog once it shows; lives until the test drops it.
template <typename Dialog> class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(Dialog*)> fill)
        : mFill(std::move(fill))
    {
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            mTimer.stop();
            mShown = true;
            mFill(dialog);
        });
        mTimer.start(10);
    }

    bool shown() const { return mShown; }

private:
    std::function<void(Dialog*)> mFill;
    QTimer mTimer;
    bool mShown = false;
};

} // namespace morvil::test

#include <QInputDialog>
#include <QPointer>
#include <QStringList>

namespace morvil::test {

// Answers the input dialogs that come, one after another, with the given texts in order (a PIN,
// a choice from a list); records their labels. Lives until the test drops it.
class InputAnswers
{
public:
    explicit InputAnswers(QStringList texts)
        : mTexts(std::move(texts))
    {
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || dialog == mLast || mTexts.isEmpty()) {
                return;
            }
            mLast = dialog;
            mLabels << dialog->labelText();
            dialog->setTextValue(mTexts.takeFirst());
            dialog->accept();
        });
        mTimer.start(10);
    }

    QStringList labels() const { return mLabels; }
    bool allUsed() const { return mTexts.isEmpty(); }

private:
    QStringList mTexts;
    QStringList mLabels;
    QPointer<QInputDialog> mLast;
    QTimer mTimer;
};

} // namespace morvil::test
