// Output routines of the geometric and network types.
#pragma once

#include <cstdint>

#include "storage/datum.h"

namespace vesk {

char* point_out(Datum d);
char* lseg_out(Datum d);
char* box_out(Datum d);
char* path_out82(Datum d);
char* path_out83(Datum d);
char* poly_out82(Datum d);
char* poly_out83(Datum d);
char* circle_out(Datum d);
char* line_out(Datum d);
char* inet_out82(Datum d);
char* inet_out83(Datum d);
char* cidr_out82(Datum d);
char* cidr_out83(Datum d);
char* macaddr_out(Datum d);

}  // namespace vesk
