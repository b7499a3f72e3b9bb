#include "account/AccountState.h"

AccountState accountState;
