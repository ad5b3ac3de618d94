#include "CEditSession.h"
