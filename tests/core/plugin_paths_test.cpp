// The settings file and the data folder follow the library's own path.
#include "shell/plugin_paths.h"

#include <gtest/gtest.h>

#include <string>

TEST(PluginPaths, FollowTheLibrary)
{
    struct Case {
        const char *module, *settings, *data;
    } cases[] = {
        {"C:\\Quenda\\Plugins\\KIV.dll", "C:\\Quenda\\Plugins\\KIV.ini", "C:\\Quenda\\Plugins\\KIV"},
        {"C:\\Quenda\\Plugins\\kivplugin", "C:\\Quenda\\Plugins\\kivplugin.ini", "C:\\Quenda\\Plugins\\KIV"},
        // The last "." anywhere counts, also one in a folder name.
        {"C:\\Quenda.app\\Plugins\\KIV", "C:\\Quenda.ini", "C:\\Quenda.app\\Plugins\\KIV"},
        {"C:\\a\\KIV.old.dll", "C:\\a\\KIV.old.ini", "C:\\a\\KIV"},
        {"KIV.dll", "KIV.ini", "\\KIV"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.module);
        char settings[260], data[260];
        DerivePluginPaths(c.module, settings, data, sizeof settings);
        EXPECT_STREQ(c.settings, settings);
        EXPECT_STREQ(c.data, data);
    }
}

TEST(PluginPaths, PathsThatDoNotFitAreLeftEmpty)
{
    // 259 characters, the longest path a 260-byte buffer holds, without a ".".
    std::string folder = "C:\\" + std::string(251, 'p');
    std::string module = folder + "\\kivp";
    ASSERT_EQ(259u, module.size());
    char settings[261], data[261];
    settings[260] = data[260] = '#';  // guard bytes just past the buffers
    DerivePluginPaths(module.c_str(), settings, data, 260);
    EXPECT_STREQ("", settings);
    EXPECT_EQ(folder + "\\KIV", std::string(data));
    EXPECT_EQ('#', settings[260]);
    EXPECT_EQ('#', data[260]);

    // At the limit: 255 characters and ".ini" fill the buffer exactly.
    module = folder + ".dll";
    ASSERT_EQ(258u, module.size());
    DerivePluginPaths(module.c_str(), settings, data, 260);
    EXPECT_EQ(folder + ".ini", std::string(settings));
    EXPECT_EQ("C:\\KIV", std::string(data));
    EXPECT_EQ('#', settings[260]);
}
