// The HTML page of the latest clock-ins.

#include "tools/clocking-service/Page.h"

#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/DisplayText.h"

namespace qv::clocking {

namespace {

constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="es">
<head>
<meta charset="utf-8">
<meta http-equiv="refresh" content="3">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Fichadas - servicio de desarrollo</title>
<style>
body { font-family: "DejaVu Sans", "Liberation Sans", sans-serif; margin: 1.5rem;
       color: #222; background: #fafafa; }
h1 { font-size: 1.4rem; margin: 0 0 .3rem; }
p.note { margin: 0 0 1rem; color: #8a4b00; }
table { border-collapse: collapse; width: 100%; background: #fff; }
th, td { padding: .4rem .6rem; border-bottom: 1px solid #ddd; text-align: left;
         vertical-align: middle; }
th { background: #eef1f5; font-weight: 600; }
td.refused { color: #b00020; }
td.time { white-space: nowrap; }
img { height: 72px; border: 1px solid #ccc; background: #fff; }
.empty { color: #777; padding: 1rem 0; }
</style>
</head>
<body>
<h1>Fichadas recientes</h1>
<p class="note">Servicio de fichadas de desarrollo: registra las fichadas pero no compara huellas.
No es el servicio del operador.</p>
)";

// Beyond these, a text would only stretch the table; the ledger keeps it whole.
constexpr std::size_t kShownIdentifier = 40;
constexpr std::size_t kShownName = 60;
constexpr std::size_t kShownAnswer = 160;

std::string cell(std::string_view text, std::size_t width, const char* className = nullptr) {
    std::string html = className ? "<td class=\"" + std::string(className) + "\">" : "<td>";
    return html + htmlEscape(displayText(text, width)) + "</td>";
}

std::string modeName(const std::optional<std::string>& mode) {
    if (!mode) {
        return "";
    }
    return *mode == "I" ? "Ingreso" : *mode == "E" ? "Egreso" : *mode;
}

std::string picture(std::int64_t entry, const char* which, const char* alt, bool present,
                    const std::string& token) {
    if (!present) {
        return "<td></td>";
    }
    const std::string query = token.empty() ? "" : "?token=" + htmlEscape(token);
    return "<td><img src=\"/entries/" + std::to_string(entry) + "/" + which + ".jpg" + query +
           "\" alt=\"" + alt + "\"></td>";
}

std::string row(const LedgerLine& line, const std::string& token) {
    const LedgerEntry& e = line.entry;
    std::string html = "<tr id=\"entry-" + std::to_string(e.entry) + "\">";
    html += cell(localTime(parseUtcTimestamp(e.receivedAt), "%Y-%m-%d %H:%M:%S"), 20, "time");
    html += cell(e.appId.value_or(""), kShownIdentifier);
    html += cell(e.staffName.value_or(""), kShownName);
    html += cell(modeName(e.mode), kShownIdentifier);
    html += e.fault ? cell("Rechazada: " + *e.fault, kShownAnswer, "refused")
                    : cell(e.resultado.value_or(""), kShownAnswer);
    html += picture(e.entry, "print", "huella", line.hasPrint && e.printWidth, token);
    html += picture(e.entry, "photo", "foto", line.hasPhoto, token);
    return html + "</tr>\n";
}

} // namespace

std::string htmlEscape(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string renderLedgerPage(const std::vector<LedgerLine>& lines, const std::string& token) {
    std::string html(kHead);
    if (lines.empty()) {
        html += "<p class=\"empty\">Todavía no hay fichadas.</p>\n";
    } else {
        html += "<table>\n<thead><tr><th>Hora</th><th>Identificador</th><th>Nombre</th>"
                "<th>Modo</th><th>Respuesta</th><th>Huella</th><th>Foto</th></tr></thead>\n"
                "<tbody>\n";
        for (const auto& line : lines) {
            html += row(line, token);
        }
        html += "</tbody>\n</table>\n";
    }
    return html + "</body>\n</html>\n";
}

} // namespace qv::clocking
