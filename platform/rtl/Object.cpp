#include "platform/rtl/Object.h"

#include "platform/rtl/Exceptions.h"

namespace platform {

void TPersistent::Assign(const TPersistent* Source) {
  if (Source != nullptr)
    Source->AssignTo(this);
  else
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) const {
  Dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* Source) const {
  const char* source_name = Source != nullptr ? Source->ClassName() : "nil";
  throw EConvertError(Format("Cannot assign a %s to a %s", source_name, ClassName()));
}

}  // namespace platform
