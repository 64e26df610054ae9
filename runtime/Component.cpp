#include "Component.h"

#include "Exception.h"

void TPersistent::Assign(const TPersistent&) {
    throw Exception("Cannot assign an object of another kind");
}
