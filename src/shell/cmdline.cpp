// The desktop program's command-line switches (see cmdline.h).
#include "shell/cmdline.h"

#include "values/tools.h"

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
            // The size follows as its own argument, read up to its first non-digit. Anything but
            // blanks before the digits is a mistake, not a size of 0 (nor the digits after it).
            const QByteArray text = args[++i].toLatin1();
            qsizetype first = 0;
            while (first < text.size() && (text[first] == ' ' || text[first] == '\t'))
                ++first;
            if (first == text.size() || !IsDigit(text[first])) {
                options.Problems << QStringLiteral("The switch -m needs a number of bytes, not \"%1\": the "
                                                   "largest store file stays %2 bytes.")
                                        .arg(args[i])
                                        .arg(options.MaxStoreFileSize);
                continue;
            }
            const int64_t v = LeadingInt(text);
            options.MaxStoreFileSize = static_cast<uint32_t>(std::clamp<int64_t>(v, 0, UINT32_MAX));
        }
    }
    return options;
}
