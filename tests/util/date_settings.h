#pragma once
// Puts the date settings that start-up establishes in force for a test and restores the previous
// ones afterwards.
#include <string>

#include "util/settings.h"

namespace kv::test {

class ScopedDateSettings {
  public:
    explicit ScopedDateSettings(const std::string& format = "dd/mm/yy", int epoch = 1980)
        : format_(util::settings().date_format), epoch_(util::settings().epoch) {
        util::settings().date_format = format;
        util::settings().epoch = epoch;
    }
    ~ScopedDateSettings() {
        util::settings().date_format = format_;
        util::settings().epoch = epoch_;
    }
    ScopedDateSettings(const ScopedDateSettings&) = delete;
    ScopedDateSettings& operator=(const ScopedDateSettings&) = delete;

  private:
    std::string format_;
    int epoch_;
};

}  // namespace kv::test
