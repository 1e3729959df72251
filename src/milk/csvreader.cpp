#include "milk/csvreader.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "milk/localenumber.h"
#include "milk/pittrip.h"
#include "store/eventlog.h"
#include "store/tables.h"
#include "store/transaction.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cmath>
#include <set>

namespace zelvano {

namespace {

constexpr int kProgressMaximum = 8;

// Cuts the fields of one line as the export is read: each field ends at the
// next split mark, and the rest of the line goes on after the mark's first
// character. A field whose mark is missing is not cut, and the rest stays as
// it was.
class FieldCutter
{
public:
    FieldCutter(QString line, const MilkLayout &layout) : m_rest(std::move(line)), m_layout(layout)
    {
    }

    // A field up to the next mark; false (nothing cut) when no mark follows.
    bool cut(QString *field)
    {
        const qsizetype pos = m_rest.indexOf(m_layout.splitMark);
        if (pos < 0)
            return false;
        *field = m_rest.left(pos);
        m_rest = m_rest.mid(pos + 1);
        return true;
    }

    // A number field: read from a copy of the rest written with the locale's
    // decimal mark; the last field of a line may run to its end.
    bool cutNumber(bool last, bool *isNumber, double *value)
    {
        const qsizetype pos = m_rest.indexOf(m_layout.splitMark);
        if (pos < 0 && !last)
            return false;
        QString field = pos < 0 ? m_rest : m_rest.left(pos);
        if (m_layout.decimalMark == u'.')
            field.replace(u',', u'.');
        else
            field.replace(u'.', u',');
        if (pos >= 0)
            m_rest = m_rest.mid(pos + 1);
        *isNumber = readLocaleNumber(field, m_layout.decimalMark, value);
        return true;
    }

    // The heads: converted as written, under the locale.
    bool cutPlainNumber(bool *isNumber, double *value)
    {
        QString field;
        if (!cut(&field))
            return false;
        *isNumber = readLocaleNumber(field, m_layout.decimalMark, value);
        return true;
    }

private:
    QString m_rest;
    const MilkLayout &m_layout;
};

QString withoutQuotesAndBlanks(const QString &line)
{
    QString s;
    s.reserve(line.size());
    for (QChar c : line)
        if (c != u'"' && c != u' ')
            s.append(c);
    return s;
}

QString trimSpaces(const QString &text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text[b] == u' ')
        ++b;
    while (e > b && text[e - 1] == u' ')
        --e;
    return text.mid(b, e - b);
}

// Runs one step whose type mismatch or invalid argument only skips that step.
template <typename F> bool softly(F &&step)
{
    try {
        step();
        return true;
    } catch (const AppError &error) {
        if (error.number() == ErrNo::TypeMismatch || error.number() == ErrNo::InvalidCall)
            return false;
        throw;
    }
}

// A running total kept as a 32-bit whole number, rounded after each addition.
qint32 addRounded(qint32 total, double amount)
{
    const double r = vb::roundHalfEven(double(total) + amount);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        raise(ErrNo::Overflow);
    return qint32(r);
}

// The day of a Dairycomp export: the date part of the file's last change,
// written as the desktop writes a date and time; a change at exactly midnight
// is written without a time and so gives no date.
QString dairyDateText(const QString &path)
{
    QDateTime changed = QFileInfo(path).lastModified();
    changed.setTime(QTime(changed.time().hour(), changed.time().minute(), changed.time().second()));
    const QString text = DateTexts::dateTime(changed);
    const qsizetype blank = text.indexOf(u' ');
    return blank < 0 ? QString() : text.left(blank);
}

struct StoredReading
{
    qint32 id = 0;
};

// The reading, one line per herd with codes, and its totals, in one
// transaction so that a failure leaves no half reading behind.
void storeReading(AppContext &ctx, const QString &dateText, const QString &source,
                  std::vector<MilkGroup> &rows)
{
    LocalConnection &db = ctx.db();
    Transaction transaction(db);
    qint32 totalHeads = 0;
    qint32 totalLitres = 0;

    TableWriter reading = db.openTable(QStringLiteral("Produccion_Lactea"));
    reading.addNew();
    const qint32 id = vb::toLong(reading.value(ProduccionLactea::Id));
    softly([&] { reading.setValue(ProduccionLactea::Fecha, dateText); });
    reading.setValue(ProduccionLactea::Usuario, QStringLiteral("Zelvano"));
    reading.setValue(ProduccionLactea::Turno, source);
    reading.setValue(ProduccionLactea::Actualizado, false);
    reading.setValue(ProduccionLactea::Proceso, QStringLiteral("AGREGAR"));
    reading.update();

    // Where each code stands, first row first: a claimed row moves to the
    // claiming herd's id.
    QHash<QString, std::set<size_t>> rowsByCode;
    rowsByCode.reserve(qsizetype(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i)
        rowsByCode[rows[i].code].insert(i);

    Recordset herds = db.openRecordset(QStringLiteral("select * from rodeos"));
    TableWriter lines = db.openTable(QStringLiteral("detalle_Produccion_Lactea"));
    for (; !herds.eof(); herds.moveNext()) {
        const QString codes = vb::joinText(herds.value(Rodeos::Codigos)); // Null: no codes
        if (codes.isEmpty())
            continue;
        const QVariant herdId = herds.value(Rodeos::Id);
        const QString herdKey = vb::joinText(herdId);
        double herdHeads = 0;
        double herdLitres = 0;
        for (const QString &piece : codes.split(u',')) {
            auto it = rowsByCode.find(trimSpaces(piece));
            if (it == rowsByCode.end() || it->empty())
                continue;
            const size_t first = *it->begin();
            it->erase(it->begin());
            herdHeads += rows[first].heads;
            herdLitres += rows[first].litres;
            rows[first].code = herdKey;
            rowsByCode[herdKey].insert(first);
        }
        lines.addNew();
        lines.setValue(DetalleProduccionLactea::Id, id);
        lines.setValue(DetalleProduccionLactea::Rodeo, herdId);
        lines.setValue(DetalleProduccionLactea::Cabezas, herdHeads);
        lines.setValue(DetalleProduccionLactea::Litros, herdLitres);
        lines.update();
        totalLitres = addRounded(totalLitres, herdLitres);
        totalHeads = addRounded(totalHeads, herdHeads);
    }

    Recordset totals = db.openRecordset(
        QStringLiteral("select * from Produccion_Lactea where id = %1").arg(id), true);
    if (!totals.eof()) {
        totals.setValue(ProduccionLactea::TotalCabezas, totalHeads);
        totals.setValue(ProduccionLactea::TotalLitros, totalLitres);
        totals.update();
    }
    transaction.commit();
}

// The pit-feeding trip of the reading, when the suite has a pit diet with its
// prescription and pit food.
Outcome pitFeeding(AppContext &ctx, const QString &dateText, const std::vector<MilkGroup> &groups)
{
    LocalConnection &db = ctx.db();
    const Recordset diets =
        db.openRecordset(QStringLiteral("select * from dietas where delpro = - 1"));
    if (diets.eof())
        return Outcome();
    PitDiet diet;
    softly([&] { diet.dietId = vb::toLong(diets.value(Dietas::Id)); });

    const Recordset trips = db.openRecordset(
        QStringLiteral("select * from prescripcion_viajes where receta = '%1' order by id_prescripcion desc")
            .arg(diet.dietId));
    if (trips.eof()) {
        Grabar_Suceso(ctx, ctx.today(),
                      QStringLiteral("No se pudo importar la lectura de racion en fosa por no estar "
                                     "presente la receta en una prescripcion"));
        return Outcome();
    }
    softly([&] { diet.prescriptionId = vb::toLong(trips.value(PrescripcionViajes::IdPrescripcion)); });
    softly([&] { diet.programmedTripId = vb::toLong(trips.value(PrescripcionViajes::IdViaje)); });
    softly([&] {
        diet.shift = vb::toLong(
            vb::roundHalfEven(vb::val(vb::joinText(trips.value(PrescripcionViajes::Turno)))));
    });
    diet.recipeName = vb::toText(trips.value(PrescripcionViajes::DesReceta));
    diet.tripTime = vb::toText(trips.value(PrescripcionViajes::Hora));

    const Recordset foods = db.openRecordset(
        QStringLiteral("select * from prescripcion_detalle_alimentos where id_prescripcion =  %1 "
                       "and id_viaje = %2 order by id_prescripcion desc")
            .arg(diet.prescriptionId)
            .arg(diet.programmedTripId));
    if (foods.eof()) {
        Grabar_Suceso(ctx, ctx.today(),
                      QStringLiteral("No se pudo importar la lectura de racion en fosa por no estar "
                                     "presente en una prescripcion el alimento de fosa"));
        return Outcome();
    }
    softly([&] { diet.foodId = vb::toLong(foods.value(PrescripcionDetalleAlimentos::IdAlimento)); });
    diet.foodName = vb::toText(foods.value(PrescripcionDetalleAlimentos::Nombre));

    const QDate day = DateTexts::parseDate(dateText);
    if (!day.isValid())
        return Outcome(); // no day to give the trip
    return Dar_Viaje_Fosa(ctx, day, diet, groups);
}

} // namespace

QStringList milkFileLines(const QByteArray &bytes)
{
    QStringList lines;
    const QString text = QString::fromLatin1(bytes);
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

MilkLayout milkLayout(const Settings &settings)
{
    MilkLayout layout;
    layout.dairy = settings.ImportSoftware == QLatin1String("dairy");
    layout.splitMark = settings.CsvSplitMark;
    layout.decimalMark = importDecimalMark(settings.LocaleDecimalSeparator);
    return layout;
}

MilkFileContent parseMilkFile(const QByteArray &bytes, const MilkLayout &layout)
{
    MilkFileContent content;
    if (bytes.isEmpty()) {
        content.empty = true;
        return content;
    }
    const QStringList lines = milkFileLines(bytes);
    if (lines.size() < 2) {
        content.titleOnly = true;
        return content;
    }
    // Fields whose mark is missing keep the value of the line before.
    QString code;
    QString unused;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const int lineNumber = int(i) + 1;
        const QString line = withoutQuotesAndBlanks(lines[i]);
        if (line.isEmpty())
            break;
        if (layout.dairy && line.contains(u'='))
            break; // the totals line
        FieldCutter fields(line, layout);
        fields.cut(&code);
        if (!layout.dairy && code.isEmpty())
            break;
        fields.cut(&unused);
        double heads = 0;
        bool headsOk = false;
        if (!fields.cutPlainNumber(&headsOk, &heads) || !headsOk) {
            content.leftOut.push_back(lineNumber);
            continue;
        }
        if (layout.dairy) {
            double perHead = 0;
            bool ok = false;
            if (!fields.cutNumber(true, &ok, &perHead) || !ok) {
                content.leftOut.push_back(lineNumber);
                continue;
            }
            content.rows.push_back({code, heads, perHead * heads, 0.0});
        } else {
            if (heads == 0)
                continue;
            double litres = 0, ignored = 0, pitKg = 0;
            bool litresOk = false, ignoredOk = false, pitOk = false;
            const bool litresCut = fields.cutNumber(false, &litresOk, &litres);
            fields.cutNumber(false, &ignoredOk, &ignored);
            const bool pitCut = fields.cutNumber(true, &pitOk, &pitKg);
            if (!litresCut || !litresOk || !pitCut || !pitOk) {
                content.leftOut.push_back(lineNumber);
                continue;
            }
            content.rows.push_back({code, heads, litres, pitKg});
        }
    }
    return content;
}

QString delproDateText(const QString &fileName, const QString &stem)
{
    const qsizetype stemLength = qMin(stem.size(), fileName.size());
    qsizetype mark = fileName.indexOf(u'_', stemLength);
    if (mark < 0)
        mark = stemLength - 1;
    const QString year = fileName.mid(mark + 1, 4);
    const QString month = fileName.mid(mark + 5, 2);
    const QString day = fileName.mid(mark + 7, 2);
    return day + u'/' + month + u'/' + year;
}

MilkFileOutcome LeerDatos_CSV(AppContext &ctx, const QString &fullPath, const QString &fileName)
{
    MilkFileOutcome outcome;
    WaitOverlay &overlay = ctx.overlay;
    overlay.setVisible(true);
    overlay.setValue(0);
    overlay.setMaximum(kProgressMaximum);
    overlay.setText(QStringLiteral("Leyendo... Espere!!!"));
    overlay.bringToFront();
    ctx.window.yieldToEvents();

    try {
        const MilkLayout layout = milkLayout(ctx.settings);
        QByteArray bytes;
        {
            QFile file(fullPath);
            if (!file.open(QIODevice::ReadOnly))
                raise(QFileInfo::exists(fullPath) ? ErrNo::PermissionDenied : ErrNo::FileNotFound);
            bytes = file.readAll();
        }

        MilkFileContent content = parseMilkFile(bytes, layout);
        if (content.empty) {
            overlay.setVisible(false);
            Grabar_Suceso(ctx, ctx.today(),
                          QStringLiteral("El archivo %1 esta vacio, no se importo ninguna lectura - %2")
                              .arg(fileName, ctx.timeText()));
            return outcome;
        }
        if (content.titleOnly)
            raise(ErrNo::InputPastEnd);

        const QString source = layout.dairy ? QStringLiteral("Dairycomp") : QStringLiteral("Delpro");
        const QString dateText = layout.dairy ? dairyDateText(fullPath)
                                              : delproDateText(fileName, ctx.settings.ImportFileName);
        outcome.groups = std::move(content.rows);
        overlay.setValue(int(outcome.groups.size() % kProgressMaximum));
        overlay.setVisible(false);

        storeReading(ctx, dateText, source, outcome.groups);
        if (!content.leftOut.empty()) {
            QStringList numbers;
            for (int n : content.leftOut)
                numbers << QString::number(n);
            Grabar_Suceso(ctx, ctx.today(),
                          QStringLiteral("Lineas del archivo %1 no importadas por cabezas, litros o kilos "
                                         "de fosa faltantes o no numericos: %2 - %3")
                              .arg(fileName, numbers.join(QStringLiteral(", ")), ctx.timeText()));
        }
        outcome.take(pitFeeding(ctx, dateText, outcome.groups));
        Grabar_Suceso(ctx, ctx.today(),
                      QStringLiteral("La importacion del archivo %1 ha sido guardada correctamente - %2")
                          .arg(fileName, ctx.timeText()));
        overlay.setVisible(false);
    } catch (const AppError &error) {
        outcome.fail(error);
        logEvent(ctx, ErrorText::inWindow(error, QStringLiteral("LeerDatos_CSV")));
    }
    return outcome;
}

} // namespace zelvano
