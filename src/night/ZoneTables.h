// The built-in time zone tables of the night schedule, generated from tzdata by
// scripts/gen_zone_tables.py.
#pragma once

namespace cvl::ZoneTables {

// "Zone/Name=lat,lon" entries separated by ";".
extern const char* const kZoneTable;
// "Retired/Name=Canonical/Name" entries separated by ";".
extern const char* const kAliasTable;

}  // namespace cvl::ZoneTables
