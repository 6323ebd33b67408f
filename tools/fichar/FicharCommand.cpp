// The fichar tool: one clock-in request sent from the command line, its answer printed.

#include "tools/fichar/FicharCommand.h"

#include "imaging/UMimeFile.h"
#include "platform/Errors.h"
#include "platform/MemoryStream.h"
#include "service/QuorvantisServiceGetter.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

namespace qv {

const char* const FicharHelp = R"(Usage:
  fichar [--url URL] --id ID --mode I|E (--wsq FILE | --base64 FILE) [--photo OUT.jpg]
  fichar --help | --version

Sends one clock-in (the SOAP operation Fichar) to a clocking service, the way the station
does, and prints the service's answer:
  puntaje: <score>
  resultado: <result text>

  --url URL        the service endpoint (http or https); without it the development
                   service at http://localhost:21796/QuorvantisService.asmx
  --id ID          the user's login or identity-document number, sent as typed
  --mode I|E       I for an entry, E for an exit
  --wsq FILE       a WSQ-compressed fingerprint; it is sent as Base64 text
  --base64 FILE    a fingerprint already in Base64 text, sent exactly as the file holds it
  --photo OUT.jpg  writes the photograph of the answer (a JPEG) to OUT.jpg

HTTPS certificates issued for another host name or out of date are accepted, as the
station does; an issuer the machine does not trust is refused. The standard proxy
variables (http_proxy, https_proxy, no_proxy) apply.

Exit status: 0 when the service answered with a result; 1 when the call failed (the
error's message is printed on standard error) or the answer held no result; 2 for a
wrong command line.
)";

namespace {

// A fingerprint is tens of kilobytes; anything this large is the wrong file.
constexpr std::uintmax_t kMaxFingerprintFileBytes = 16 * 1024 * 1024;

std::vector<std::uint8_t> readFingerprintFile(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) {
        throw GeneralError("cannot read '" + path + "': " + error.message());
    }
    if (size > kMaxFingerprintFileBytes) {
        throw GeneralError("'" + path + "' is " + std::to_string(size) +
                           " bytes, more than a fingerprint file can be (" +
                           std::to_string(kMaxFingerprintFileBytes) + ")");
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
    if (!in.eof() && in.fail()) {
        throw GeneralError("cannot read '" + path + "'");
    }
    return bytes;
}

std::string fingerprintText(const FicharOptions& options) {
    if (!options.base64File.empty()) {
        const auto bytes = readFingerprintFile(options.base64File);
        return {bytes.begin(), bytes.end()};
    }
    MemoryStream wsq(readFingerprintFile(options.wsqFile));
    std::string text;
    StreamToBase64Text(wsq, text);
    return text;
}

void writePhoto(const std::string& base64, const std::string& path, std::ostream& out) {
    MemoryStream photo;
    Base64TextToStream(base64, photo);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(photo.data()),
               static_cast<std::streamsize>(photo.size()));
    file.close();
    if (!file) {
        throw GeneralError("cannot write the photograph to '" + path + "'");
    }
    out << "foto: " << photo.size() << " bytes written to " << path << "\n";
}

std::string valueAfter(const std::vector<std::string>& args, std::size_t& index) {
    if (index + 1 >= args.size()) {
        throw UsageError(args[index] + " needs a value");
    }
    return args[++index];
}

} // namespace

FicharOptions parseFicharOptions(const std::vector<std::string>& args) {
    FicharOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return options;
        }
        if (arg == "--version") {
            options.version = true;
            return options;
        }
        std::string* target = arg == "--url"      ? &options.url
                              : arg == "--id"     ? &options.id
                              : arg == "--mode"   ? &options.mode
                              : arg == "--wsq"    ? &options.wsqFile
                              : arg == "--base64" ? &options.base64File
                              : arg == "--photo"  ? &options.photoFile
                                                  : nullptr;
        if (!target) {
            throw UsageError("unknown argument '" + arg + "'");
        }
        *target = valueAfter(args, i);
    }
    if (options.id.empty()) {
        throw UsageError("--id is required and may not be empty");
    }
    if (options.mode != "I" && options.mode != "E") {
        throw UsageError("--mode must be I (entry) or E (exit)");
    }
    if (options.wsqFile.empty() == options.base64File.empty()) {
        throw UsageError("give the fingerprint with exactly one of --wsq and --base64");
    }
    return options;
}

void runFichar(const FicharOptions& options, std::ostream& out, std::ostream& err) {
    const std::string fingerprint = fingerprintText(options);
    const auto service = GetQuorvantisServiceSoap(false, options.url);
    const auto result = service->Fichar(options.id, fingerprint, options.mode);
    if (!result) {
        throw GeneralError("the service answered without a result (no FichadaResult in the "
                           "reply)");
    }
    out << "puntaje: " << result->puntaje << "\n";
    out << "resultado: " << result->resultado << "\n";
    if (options.photoFile.empty()) {
        return;
    }
    if (result->foto.empty()) {
        err << "fichar: the answer holds no photograph; " << options.photoFile
            << " was not written\n";
        return;
    }
    writePhoto(result->foto, options.photoFile, out);
}

} // namespace qv
