#include "kxview_storage.h"

#include <memory>

KxviewStorage kx;

// Value-initialised: zero, but for the fields' own initial values.
void fresh_storage() {
    std::destroy_at(&kx);
    std::construct_at(&kx);
}
