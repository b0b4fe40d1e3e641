#pragma once
// Packing a table (MPACK_, tables.h) by the engine's pack: copies put in place by renames of the
// table alone (pack_swap.h), so that a kill at any moment leaves a table that agrees with its memo
// file. The table's own bag (same name, ".NTX"), when present, is rebuilt, since the records have
// moved; after a kill, by the next open of the table or of the bag.
#include "db/pack_swap.h"
