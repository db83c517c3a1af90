// Switching the thread's current UDM model for a piece of work.
#pragma once

#include "udm/udm.h"

namespace tarnvel::convert {

// Remembers the current UDM model, optionally selects another one, and
// selects the remembered model again when it goes out of scope.
class ScopedCurrentModel {
  public:
    ScopedCurrentModel() : previous_(udm_model_current()) {}
    explicit ScopedCurrentModel(UdmModel* model) : previous_(udm_model_current()) {
        udm_model_select(model);
    }
    ~ScopedCurrentModel() { udm_model_select(previous_); }
    ScopedCurrentModel(const ScopedCurrentModel&) = delete;
    ScopedCurrentModel& operator=(const ScopedCurrentModel&) = delete;

  private:
    UdmModel* previous_;
};

}  // namespace tarnvel::convert
