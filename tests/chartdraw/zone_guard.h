// Runs a test body in a fixed time zone, with the loader's date cache
// cleared on the way in and out, and restores the previous zone afterwards.
#pragma once

#include <time.h>

#include <cstdlib>
#include <string>

#include "plotwick/loader.h"

namespace plotwick::test {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* tz) {
        if (const char* old = std::getenv("TZ")) {
            hadOld_ = true;
            old_ = old;
        }
        ::setenv("TZ", tz, 1);
        ::tzset();
        ResetDateCache();
    }
    ~ZoneGuard() {
        if (hadOld_) {
            ::setenv("TZ", old_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
        ResetDateCache();
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace plotwick::test
