#pragma once
// Packing a table through a copy written beside it (MPACK_, tables.h). The copy replaces the
// table and its memo file by renames (pack_swap.h); an interrupted replacement is finished by the
// next open of the table. The table's own bag (same name, ".NTX"), when present, is rebuilt after
// the replacement, since the records have moved.
#include "db/pack_swap.h"
