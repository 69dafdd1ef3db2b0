#include "failure_page.h"

#include "text_escape.h"

namespace mivra {

namespace {

constexpr const char* kRetry = "Reessayer";
constexpr const char* kHint = "Ou appuyez sur Ctrl+R.";

// The address as HTML text and attribute value (double-quoted).
std::string Escaped(const std::string& text)
{
    return Replaced(text, {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&#39;"}});
}

}  // namespace

std::string ServerSilentPage(const std::string& interfaceUrl, const Colour& background)
{
    const std::string address = Escaped(interfaceUrl);
    return "<!DOCTYPE html>\n<html lang=\"fr\"><head><meta charset=\"utf-8\"><title>Mivra</title><style>\n"
           "html, body { height: 100%; margin: 0; }\n"
           "body { display: flex; align-items: center; justify-content: center; background: " +
           CssColour(background) +
           "; color: #e8eaf0; font: 15px/1.5 sans-serif; }\n"
           "main { max-width: 34em; padding: 2em; text-align: center; }\n"
           "h1 { font-size: 1.5em; font-weight: 600; }\n"
           "a { display: inline-block; margin: 1em 0; padding: 0.5em 1.6em; border-radius: 6px; "
           "background: #3d6ff0; color: #ffffff; text-decoration: none; }\n"
           "a:focus { outline: 2px solid #ffffff; outline-offset: 2px; }\n"
           ".aide { color: #a0a6b2; font-size: 0.9em; }\n"
           "</style></head><body><main>\n<h1>"
           "Le serveur local ne repond pas</h1>\n<p>Mivra n'a pas pu charger son interface : aucun serveur ne repond a "
           "l'adresse " +
           address + ".</p>\n<a role=\"button\" href=\"" + address + "\" autofocus>" + kRetry +
           "</a>\n<p class=\"aide\">" + kHint + "</p>\n</main></body></html>\n";
}

FailureView StoppedPageView()
{
    return {"La page s'est arretee",
            "Le pilote graphique ou l'affichage de cet ordinateur ne parvient pas a faire tourner la page de Mivra.",
            kRetry, kHint};
}

std::string FailureNote(Failure failure)
{
    return std::string("page d'echec affichee : ") +
           (failure == Failure::ServerSilent ? "le serveur local ne repond pas" : "la page s'est arretee");
}

std::string PageProcessEndNote(PageProcessEnd why)
{
    const char* cause = why == PageProcessEnd::Crashed       ? "plantage"
                        : why == PageProcessEnd::MemoryLimit ? "limite de memoire depassee"
                                                             : "termine";
    return std::string("processus de la page arrete : ") + cause;
}

}  // namespace mivra
