// Every text the plug-in shows, as narrow strings in code page 932.
#pragma once

extern const char PatrolMenuText[];       // the menu command
extern const char PluginName[];           // name field of the information record
extern const char PluginAuthor[];
extern const char PluginVersion[];
extern const char LoadErrorFormat[];      // %s takes PluginName
extern const char LoadErrorCaption[];
