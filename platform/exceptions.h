#pragma once
// Root of every exception the program throws. Network errors derive from the
// socket family in ftp/; store errors from EStoreError in store/.
#include <stdexcept>
#include <string>

class EIdException : public std::runtime_error {
public:
    explicit EIdException(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};
