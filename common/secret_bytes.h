// A NUL-terminated UTF-8 copy of a PIN (or another secret) that is wiped whenever it is emptied,
// replaced or destroyed. QByteArray::clear() only drops its reference and leaves the octets in
// freed memory; this type never lets go of memory that still holds a secret.
#pragma once

#include <QString>

#include <vector>

namespace morvil {

class SecretBytes
{
public:
    SecretBytes() = default;
    ~SecretBytes();
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    // Replaces the contents with the UTF-8 form of text; the temporary encoding is wiped too.
    void assignUtf8(const QString& text);
    // Wipes and empties.
    void clear();

    // The secret, NUL-terminated; "" when empty. Valid until the next assign or clear.
    const char* c_str() const;
    // Octets, terminator not counted.
    int size() const;
    bool isEmpty() const { return size() == 0; }

private:
    std::vector<char> mBytes; // the octets and their terminator, or nothing
};

// Overwrites the characters of a string that is about to go (a copy of a PIN edit's text).
void wipe(QString& text);

} // namespace morvil
