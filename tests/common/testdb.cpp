#include "testdb.h"
