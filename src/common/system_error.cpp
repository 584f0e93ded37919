#include "common/system_error.h"

#include <cerrno>

std::string SystemErrorText(int error) {
    switch (error) {
        case ENOENT:
            return "der Ordner existiert nicht";
        case EACCES:
        case EPERM:
            return "Zugriff verweigert";
        case EISDIR:
            return "das ist ein Ordner";
        case ENOTDIR:
            return "ein Teil des Pfades ist kein Ordner";
        case ENAMETOOLONG:
            return "der Name ist zu lang";
        case ELOOP:
            return "der Pfad enthält zu viele symbolische Verknüpfungen (Schleife?)";
        case ENOSPC:
            return "kein Platz mehr auf dem Datenträger";
        case EDQUOT:
            return "das Speicherkontingent ist erschöpft";
        case EFBIG:
            return "die Datei wäre zu groß";
        case EROFS:
            return "das Dateisystem ist schreibgeschützt";
        case EIO:
            return "Ein-/Ausgabefehler des Datenträgers";
        case EEXIST:
            return "die Datei existiert bereits";
        case ETXTBSY:
        case EBUSY:
            return "die Datei ist in Gebrauch";
        case EMFILE:
        case ENFILE:
            return "zu viele offene Dateien";
        case ENOMEM:
            return "nicht genug Arbeitsspeicher";
        case EXDEV:
            return "Ziel und Zwischendatei liegen auf verschiedenen Dateisystemen";
        case EMLINK:
            return "zu viele Verknüpfungen";
        case ENXIO:
        case ENODEV:
            return "das Gerät ist nicht vorhanden";
        case EINVAL:
            return "der Name ist auf diesem Dateisystem ungültig";
        case EOVERFLOW:
            return "die Datei ist zu groß für diesen Zugriff";
        case EAGAIN:
        case EINTR:
            return "der Vorgang wurde unterbrochen";
        case ESTALE:
            return "die Netzwerkfreigabe ist nicht mehr verfügbar";
        case EOPNOTSUPP:
            return "das Dateisystem unterstützt den Vorgang nicht";
        case ENOTEMPTY:
            return "der Ordner ist nicht leer";
        default:
            return "unerwarteter Fehler des Betriebssystems (errno " + std::to_string(error) + ")";
    }
}
