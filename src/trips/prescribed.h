#pragma once

#include "common/outcome.h"
#include "store/localconnection.h"

#include <QHash>
#include <QPair>
#include <QVariant>

#include <optional>
#include <vector>

namespace zelvano {

struct AppContext;

// The ingredients of the concentrates one save has asked for, by prescription
// and ingredient. The save writes none of the tables they come from, so each
// pair is asked once per save.
class ConcentrateCompositions
{
public:
    struct Ingredient
    {
        QVariant id;
        QVariant name;
        QVariant share; // per cent
    };
    // No rows when idAlim is no concentrate of idPres. A failed lookup is not
    // kept: the next load asks again.
    const std::vector<Ingredient> &of(LocalConnection &db, qint32 idPres, qint32 idAlim);

    // lectura_carga_detalle_conc, opened once for the whole save.
    TableWriter &detailTable(LocalConnection &db);

private:
    QHash<QPair<qint32, qint32>, std::vector<Ingredient>> m_known;
    std::optional<TableWriter> m_detail;
};

// Copies the prescribed kilograms into every stored trip, load and unload that
// has none yet (null or 0). A row whose values do not convert is passed over
// (it is looked up again at the next call); any other error ends the fill
// silently. What it found before either is written and stays.
void Setear_Prescriptos(AppContext &ctx);

// What one concentrate breakdown added.
struct ConcentrateOutcome : Outcome
{
    int rows = 0;
};

// Breaks one load of a concentrate into the concentrate's ingredients, with
// their whole kilograms, in lectura_carga_detalle_conc. Ordinary loads add
// nothing. Errors are shown in a message box; the caller goes on.
// A save passes its compositions so that each concentrate is asked once.
ConcentrateOutcome Inserta_Composicion_Concentrado(AppContext &ctx, qint32 idPres, qint32 idAlim, double kgReal,
                                     qint32 idMod, qint32 idViaje, double kgSug,
                                     ConcentrateCompositions *known = nullptr);

} // namespace zelvano
