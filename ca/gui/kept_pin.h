// The user PIN an authority keeps between operations, from a check its token accepted until it is
// forgotten. Kept or not is its own fact: the empty PIN is a PIN. Its characters are wiped
// whenever it is replaced, forgotten or destroyed; a copy shares them until one side lets go,
// and each side wipes what it alone holds.
#pragma once

#include "secret_bytes.h"

#include <QString>

#include <utility>

class KeptPin
{
public:
    KeptPin() = default;
    KeptPin(const KeptPin&) = default;
    KeptPin(KeptPin&& other) noexcept { swap(other); }
    // By value: what this one held goes with `other`, which wipes it.
    KeptPin& operator=(KeptPin other) noexcept
    {
        swap(other);
        return *this;
    }
    ~KeptPin() { forget(); }

    // Keeps pin in place of what was kept; pin is left empty.
    void keep(QString& pin)
    {
        forget();
        mPin = std::exchange(pin, QString());
        mKept = true;
    }
    void forget()
    {
        morvil::wipe(mPin);
        mKept = false;
    }
    bool isKept() const { return mKept; }
    const QString& text() const { return mPin; }

private:
    void swap(KeptPin& other) noexcept
    {
        mPin.swap(other.mPin);
        std::swap(mKept, other.mKept);
    }

    QString mPin;
    bool mKept = false;
};
