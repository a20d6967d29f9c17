// plotwick-render: loads a channel log file and paints its chart, exactly as
// a chart window would, into a PNG file or onto standard output. No display
// is needed.
#include <QCommandLineParser>
#include <QFile>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kestrane_version.h"
#include "plotwick/chart_frame.h"
#include "plotwick/graph_context.h"
#include "plotwick/loader.h"
#include "plotwick/paint.h"
#include "plotwick/raster.h"
#include "plotwick/raster_state.h"
#include "plotwick/scale.h"
#include "plotwick/series.h"
#include "plotwick/view.h"

namespace {

constexpr const char* kName = "plotwick-render";

constexpr const char* kUsage =
    "Usage: plotwick-render [OPTION]... LOGFILE OUT.png\n"
    "Draw the chart of a Kestrane channel log file, as a chart window shows it,\n"
    "into a PNG image. OUT.png '-' writes the image to standard output.\n"
    "\n"
    "Options:\n"
    "  --size=WxH          client size in pixels (default 600x240, each 1..8192)\n"
    "  --view=START,END    visible ages in seconds, newest point = 0\n"
    "                      (default: the newest hour); also --view START END\n"
    "  --amps              caption Amps instead of Volts\n"
    "  --hover=X,Y         draw as if the pointer were at (X, Y); also --hover X Y\n"
    "  --scale=R           device pixel ratio: 1, 1.25, 1.5, 1.75, 2, 2.5, 3 or 4\n"
    "                      (default 1); the PNG is R times the size, drawn with\n"
    "                      fonts and pictures made for R. --size and --hover stay\n"
    "                      in pixels at ratio 1\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Every option takes its value either as --option=VALUE or as --option VALUE.\n"
    "Exit status: 0 on success, 1 when the log cannot be loaded or the image\n"
    "cannot be written, 2 on a usage error.\n";

bool ParseInt(const std::string& text, long lo, long hi, int32_t* out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    *out = static_cast<int32_t>(v);
    return true;
}

// "A<sep>B" into two whole numbers.
bool ParsePair(const std::string& text, char sep, long lo, long hi, int32_t* a, int32_t* b) {
    const std::size_t cut = text.find(sep);
    if (cut == std::string::npos) return false;
    return ParseInt(text.substr(0, cut), lo, hi, a) && ParseInt(text.substr(cut + 1), lo, hi, b);
}

// One of the generated chart scales, written as a plain decimal number.
bool ParseScale(const std::string& text, double* out) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0') return false;
    for (const double s : plotwick::kAssetScales) {
        if (v == s) {
            *out = s;
            return true;
        }
    }
    return false;
}

// A usage error: the message and the usage on standard error, exit 2.
int UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n%s", kName, message.c_str(), kUsage);
    return 2;
}

// A failure on a named file: exit 1.
int Fail(const char* message, const char* detail) {
    std::fprintf(stderr, "%s: %s '%s'\n", kName, message, detail);
    return 1;
}

// --view and --hover also take their two numbers as two arguments, as
// earlier callers pass them; they are joined into the one-value form here.
QStringList JoinTwoNumberOptions(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const bool pairOption = arg == QLatin1String("--view") || arg == QLatin1String("--hover");
        if (pairOption && i + 2 < argc && !QString::fromLocal8Bit(argv[i + 1]).contains(QLatin1Char(',')) &&
            !QString::fromLocal8Bit(argv[i + 1]).startsWith(QLatin1String("--"))) {
            args << arg + QLatin1Char('=') + QString::fromLocal8Bit(argv[i + 1]) + QLatin1Char(',') +
                        QString::fromLocal8Bit(argv[i + 2]);
            i += 2;
        } else {
            args << arg;
        }
    }
    return args;
}

bool WritePng(const QImage& image, const char* outPath) {
    if (std::strcmp(outPath, "-") == 0) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly)) return false;
        return image.save(&out, "PNG") && out.flush();
    }
    return image.save(QString::fromLocal8Bit(outPath), "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    const QStringList args = JoinTwoNumberOptions(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption sizeOption(QStringLiteral("size"), QString(), QStringLiteral("WxH"));
    const QCommandLineOption viewOption(QStringLiteral("view"), QString(), QStringLiteral("START,END"));
    const QCommandLineOption hoverOption(QStringLiteral("hover"), QString(), QStringLiteral("X,Y"));
    const QCommandLineOption scaleOption(QStringLiteral("scale"), QString(), QStringLiteral("R"));
    const QCommandLineOption ampsOption(QStringLiteral("amps"));
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption versionOption(QStringLiteral("version"));
    parser.addOptions(
        {sizeOption, viewOption, hoverOption, scaleOption, ampsOption, helpOption, versionOption});

    // A value option given last has no value; say which one.
    if (!args.isEmpty()) {
        const QString last = args.last();
        for (const char* name : {"--size", "--view", "--hover", "--scale"}) {
            if (last == QLatin1String(name)) return UsageError(std::string(name) + " needs a value");
        }
    }
    if (!parser.parse(QStringList{QString::fromLatin1(kName)} + args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString dashes = unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
            return UsageError("unknown option '" + (dashes + unknown.first()).toStdString() + "'");
        }
        return UsageError(parser.errorText().toStdString());
    }
    if (parser.isSet(helpOption)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("%s %s\n", kName, KESTRANE_VERSION_TEXT);
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 2) return UsageError("missing arguments: LOGFILE and OUT.png are needed");
    if (positional.size() > 2)
        return UsageError("unexpected argument '" + positional.at(2).toStdString() + "'");
    const QByteArray logBytes = positional.at(0).toLocal8Bit();
    const QByteArray outBytes = positional.at(1).toLocal8Bit();
    const char* logPath = logBytes.constData();
    const char* outPath = outBytes.constData();

    int32_t width = 600, height = 240;
    int32_t viewStart = 0, viewEnd = 0, hoverX = -1, hoverY = -1;
    const bool haveView = parser.isSet(viewOption);
    const bool haveHover = parser.isSet(hoverOption);
    const bool amps = parser.isSet(ampsOption);
    if (parser.isSet(sizeOption)) {
        const std::string text = parser.value(sizeOption).toStdString();
        if (!ParsePair(text, 'x', 1, plotwick::kMaxBackBufferSide, &width, &height)) {
            return UsageError("bad --size '" + text + "', expected WxH, each 1.." +
                              std::to_string(plotwick::kMaxBackBufferSide));
        }
    }
    if (haveView) {
        const std::string text = parser.value(viewOption).toStdString();
        if (!ParsePair(text, ',', INT_MIN, INT_MAX, &viewStart, &viewEnd)) {
            return UsageError("bad --view '" + text + "', expected two whole numbers of seconds START,END");
        }
    }
    double scale = 1.0;
    if (parser.isSet(scaleOption)) {
        const std::string text = parser.value(scaleOption).toStdString();
        if (!ParseScale(text, &scale)) {
            return UsageError("bad --scale '" + text + "', expected 1, 1.25, 1.5, 1.75, 2, 2.5, 3 or 4");
        }
    }
    const int32_t deviceWidth = plotwick::ScaledPx(width, scale),
                  deviceHeight = plotwick::ScaledPx(height, scale);
    if (deviceWidth > plotwick::kMaxBackBufferSide || deviceHeight > plotwick::kMaxBackBufferSide) {
        return UsageError("--size times --scale exceeds " + std::to_string(plotwick::kMaxBackBufferSide) +
                          " pixels");
    }
    if (haveHover) {
        const std::string text = parser.value(hoverOption).toStdString();
        if (!ParsePair(text, ',', INT_MIN, INT_MAX, &hoverX, &hoverY)) {
            return UsageError("bad --hover '" + text + "', expected two whole pixel numbers X,Y");
        }
    }

    plotwick::RasterState raster;
    if (!plotwick::RasterInit(raster, deviceWidth, deviceHeight))
        return Fail("cannot allocate the back buffer", logPath);
    plotwick::GraphContext ctx;
    const char* slash = std::strrchr(logPath, '/');
    plotwick::InitGraphContext(ctx, nullptr, width, height, slash != nullptr ? slash + 1 : logPath);
    if (plotwick::LoadSeries(logPath, ctx) != 1) {
        plotwick::RasterFree(raster);
        return Fail("cannot load log file (missing, unreadable or without readings)", logPath);
    }
    ctx.captionIsVolts = amps ? 0 : 1;
    if (haveView) plotwick::SetView(ctx, viewStart, viewEnd);
    plotwick::HoverState hover;
    if (haveHover) {
        hover.hoverWindow = &ctx;
        hover.x = hoverX;
        hover.y = hoverY;
    }
    plotwick::MemoryWindow window(deviceWidth, deviceHeight);
    plotwick::Paint(raster, ctx, window, hover, scale);
    plotwick::ReleaseSeries(ctx);
    plotwick::RasterFree(raster);

    // The pixels are 0xAARRGGBB words; mixed pixels carry alpha 0, which
    // RGB32 ignores as the window presentation does.
    QImage image(reinterpret_cast<const uchar*>(window.pixels().data()), deviceWidth, deviceHeight,
                 deviceWidth * 4, QImage::Format_RGB32);
    if (!WritePng(image, outPath)) return Fail("cannot write PNG file", outPath);
    return 0;
}
