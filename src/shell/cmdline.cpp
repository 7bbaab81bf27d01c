// The desktop program's command-line switches (see cmdline.h).
#include "shell/cmdline.h"

#include "link/tools.h"

#include <algorithm>

TStartOptions ParseCommandLine(const QStringList &args, TStartOptions options)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == "-d") {
            options.DebugMode = true;
        } else if (arg == "-z") {
            options.ScrambleLines = false;
        } else if (arg == "--demo") {
            options.Demo = true;
        } else if (arg == "--screenshot" && i + 1 < args.size()) {
            options.Screenshot = args[++i];
        } else if (arg == "-m" && i + 1 < args.size()) {
            // The size follows as its own argument, read up to its first non-digit.
            const int64_t v = LeadingInt(args[++i].toLatin1());
            options.MaxStoreFileSize = static_cast<uint32_t>(std::clamp<int64_t>(v, 0, UINT32_MAX));
        }
    }
    return options;
}
