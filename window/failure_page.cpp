#include "failure_page.h"

#include "text_escape.h"

namespace mivra {

namespace {

struct Texts {
    const char* title;
    const char* explanation;
};

Texts TextsOf(Failure failure)
{
    if (failure == Failure::ServerSilent)
        return {"Le serveur local ne repond pas",
                "Mivra n'a pas pu charger son interface : aucun serveur ne repond a l'adresse "};
    return {"La page s'est arretee",
            "La page de Mivra s'est arretee plusieurs fois en une minute ; elle n'est plus rechargee "
            "automatiquement. Son interface est a l'adresse "};
}

// The address as HTML text and attribute value (double-quoted).
std::string Escaped(const std::string& text)
{
    return Replaced(text, {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&#39;"}});
}

}  // namespace

std::string FailurePage(Failure failure, const std::string& interfaceUrl, const Colour& background)
{
    const Texts texts = TextsOf(failure);
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
           "</style></head><body><main>\n<h1>" +
           texts.title + "</h1>\n<p>" + texts.explanation + address + ".</p>\n<a role=\"button\" href=\"" + address +
           "\" autofocus>Reessayer</a>\n<p class=\"aide\">Ou appuyez sur Ctrl+R.</p>\n</main></body></html>\n";
}

std::string FailureNote(Failure failure)
{
    return std::string("page d'echec affichee : ") +
           (failure == Failure::ServerSilent ? "le serveur local ne repond pas" : "la page s'est arretee");
}

}  // namespace mivra
