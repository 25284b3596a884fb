#pragma once
// Background work that a script or a test may wait for, by name: "load" (a page
// or a file loading in the background), "fit" (a search on a worker) and the like.
// The code that starts the work calls Begin before the handler that started it
// returns, and End once the result has been shown, so that "not busy" means the
// window shows the finished result. Works of one name nest (a count). Safe from
// any thread.
#include <string>

namespace activity {

void Begin(const std::string& name);
// An End without a Begin is ignored (the count never goes below zero).
void End(const std::string& name);
bool Busy(const std::string& name);

// Begin for the lifetime of the object.
class Scope {
public:
    explicit Scope(std::string name) : name_(std::move(name)) { Begin(name_); }
    ~Scope() { End(name_); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    std::string name_;
};

}  // namespace activity
