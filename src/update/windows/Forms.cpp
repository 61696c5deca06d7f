#include "update/windows/Forms.h"

// The windows only keep the reference while the set is being built.
Forms::Forms() : KORU2(*this), KORUHelp1(*this) {}
