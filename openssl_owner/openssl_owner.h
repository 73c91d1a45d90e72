// One way to own an OpenSSL object: a std::unique_ptr whose deleter is the object's own free
// function, e.g. OpenSslOwner<EVP_PKEY, EVP_PKEY_free>. Raw pointers handed out by get() or
// OpenSSL's get0 functions are borrowed and never freed by their holder.
#pragma once

#include <memory>

namespace morvil {

template <auto Free> struct OpenSslFree
{
    template <typename T> void operator()(T* object) const noexcept { Free(object); }
};

template <typename T, auto Free> using OpenSslOwner = std::unique_ptr<T, OpenSslFree<Free>>;

} // namespace morvil
