#include "failure_page.h"

namespace mivra {

FailureView FailureViewOf(Failure failure, const std::string& interfaceUrl)
{
    constexpr const char* retry = "Reessayer";
    constexpr const char* hint = "Ou appuyez sur Ctrl+R.";
    if (failure == Failure::ServerSilent)
        return {"Le serveur local ne repond pas",
                "Mivra n'a pas pu charger son interface : aucun serveur ne repond a l'adresse " + interfaceUrl + ".",
                retry, hint};
    return {"La page s'est arretee",
            "Le pilote graphique ou l'affichage de cet ordinateur ne parvient pas a faire tourner la page de Mivra.",
            retry, hint};
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
