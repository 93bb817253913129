// URL LIST's IMPORT and EXPORT: the feed list read from and written to an
// OPML file that the user picks.
#pragma once

// Asks for an OPML file and appends its feeds to the list (one rewrite of
// the settings file, which CANCEL rolls back like any edit), then says what
// came of it.
void ImportFeedListFromFile();
// Asks where to save and writes the list there as OPML.
void ExportFeedListToFile();
