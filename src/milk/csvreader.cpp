#include "milk/csvreader.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "milk/crashpoint.h"
#include "milk/localenumber.h"
#include "milk/pittrip.h"
#include "store/eventlog.h"
#include "store/tables.h"
#include "store/transaction.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <cmath>
#include <set>

namespace zelvano {

namespace {

constexpr int kProgressMaximum = 8;

// The line without double quotes and blanks, as text of the 8-bit code page.
QString withoutQuotesAndBlanks(const QByteArray &line)
{
    QString s(line.size(), Qt::Uninitialized);
    QChar *out = s.data();
    for (const char c : line)
        if (c != '"' && c != ' ')
            *out++ = QChar(uchar(c));
    s.truncate(out - s.constData());
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

// The reading, one line per herd with codes, and its totals, inside the
// caller's transaction. Returns the reading's id.
qint32 storeReading(AppContext &ctx, const QDate &day, const QString &source,
                    std::vector<MilkGroup> &rows)
{
    LocalConnection &db = ctx.db();
    qint32 totalHeads = 0;
    qint32 totalLitres = 0;

    TableWriter reading = db.openTable(QStringLiteral("Produccion_Lactea"));
    reading.addNew();
    const qint32 id = vb::toLong(reading.value(ProduccionLactea::Id));
    reading.setValue(ProduccionLactea::Fecha, DateTexts::date(day));
    reading.setValue(ProduccionLactea::Usuario, QStringLiteral("Zelvano"));
    reading.setValue(ProduccionLactea::Turno, source);
    reading.setValue(ProduccionLactea::Actualizado, false);
    reading.setValue(ProduccionLactea::Proceso, QStringLiteral("AGREGAR"));
    reading.update();
    crashPoint("reading");

    Recordset herds = db.openRecordset(QStringLiteral("select * from rodeos"));

    // Where each code a herd asks for stands, first row first: a claimed row
    // moves to the claiming herd's id. Codes no herd names are never looked up.
    QSet<QString> wanted;
    for (; !herds.eof(); herds.moveNext()) {
        const QString codes = vb::joinText(herds.value(Rodeos::Codigos));
        if (!codes.isEmpty())
            for (const QString &piece : codes.split(u','))
                wanted.insert(trimSpaces(piece));
    }
    QHash<QString, std::set<size_t>> rowsByCode;
    for (size_t i = 0; i < rows.size(); ++i)
        if (wanted.contains(rows[i].code))
            rowsByCode[rows[i].code].insert(i);

    herds = db.openRecordset(QStringLiteral("select * from rodeos"));
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
    return id;
}

// The pit-feeding trip of the reading, when the suite has a pit diet with its
// prescription and pit food.
Outcome pitFeeding(AppContext &ctx, const QDate &day, const std::vector<MilkGroup> &groups)
{
    LocalConnection &db = ctx.db();
    const Recordset diets =
        db.openRecordset(QStringLiteral("select * from dietas where delpro = - 1"));
    if (diets.eof())
        return Outcome();
    PitDiet diet;
    softly([&] { diet.dietId = vb::toLong(diets.value(Dietas::Id)); });

    const Recordset trips = db.openRecordset(
        QStringLiteral(
            "select * from prescripcion_viajes where receta = '%1' order by id_prescripcion desc")
            .arg(diet.dietId));
    if (trips.eof()) {
        Grabar_Suceso(
            ctx, ctx.today(),
            QStringLiteral("No se pudo importar la lectura de racion en fosa por no estar "
                           "presente la receta en una prescripcion"));
        return Outcome();
    }
    softly(
        [&] { diet.prescriptionId = vb::toLong(trips.value(PrescripcionViajes::IdPrescripcion)); });
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
        Grabar_Suceso(
            ctx, ctx.today(),
            QStringLiteral("No se pudo importar la lectura de racion en fosa por no estar "
                           "presente en una prescripcion el alimento de fosa"));
        return Outcome();
    }
    softly(
        [&] { diet.foodId = vb::toLong(foods.value(PrescripcionDetalleAlimentos::IdAlimento)); });
    diet.foodName = vb::toText(foods.value(PrescripcionDetalleAlimentos::Nombre));
    return Dar_Viaje_Fosa(ctx, day, diet, groups);
}

// "3, 5, 9", and how many more when not all are listed.
QString leftOutText(const MilkFileContent &content)
{
    QStringList numbers;
    for (int n : content.leftOut)
        numbers << QString::number(n);
    QString text = numbers.join(QStringLiteral(", "));
    const int more = content.leftOutCount - int(content.leftOut.size());
    if (more > 0)
        text += QStringLiteral(" y %1 mas").arg(more);
    return text;
}

} // namespace

void LineSplitter::feed(const char *data, qsizetype size)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (m_afterCr) {
            m_afterCr = false;
            if (c == '\n') {
                start = i + 1;
                continue;
            }
        }
        if (c != '\r' && c != '\n')
            continue;
        append(data + start, i - start);
        emitLine();
        m_afterCr = c == '\r';
        start = i + 1;
    }
    append(data + start, size - start);
}

void LineSplitter::append(const char *data, qsizetype size)
{
    if (m_overlong || size <= 0)
        return;
    if (m_line.size() + size > kMaxLineBytes) {
        m_line.append(data, kMaxLineBytes - m_line.size());
        m_overlong = true;
    } else {
        m_line.append(data, size);
    }
}

void LineSplitter::emitLine()
{
    m_sink(m_line, m_overlong);
    m_line.resize(0);
    m_overlong = false;
}

void LineSplitter::finish()
{
    if (!m_line.isEmpty())
        emitLine();
    m_afterCr = false;
}

void MilkLineParser::leaveOut(int lineNumber)
{
    ++m_content.leftOutCount;
    if (m_content.leftOut.size() < size_t(kLeftOutListed))
        m_content.leftOut.push_back(lineNumber);
}

void MilkLineParser::addLine(const QByteArray &bytes, bool overlong)
{
    const int lineNumber = ++m_lines;
    if (lineNumber == 1 || m_ended)
        return; // the column titles, or past the end of the data
    if (overlong) {
        leaveOut(lineNumber);
        return;
    }
    const QString line = withoutQuotesAndBlanks(bytes);
    if (line.isEmpty() || m_layout.format->endsData(line)) {
        m_ended = true; // an empty line, or a line the format ends the data with
        return;
    }
    FieldCutter fields(line, m_layout.splitMark, m_layout.decimalMark);
    MilkGroup row;
    switch (m_layout.format->readLine(fields, m_code, m_unused, &row)) {
    case MilkLine::End:
        m_ended = true;
        return;
    case MilkLine::LeftOut:
        leaveOut(lineNumber);
        return;
    case MilkLine::EmptyGroup:
        ++m_content.groupLines;
        return;
    case MilkLine::Group:
        ++m_content.groupLines;
        m_content.rows.push_back(std::move(row));
        return;
    }
}

MilkFileContent MilkLineParser::finish()
{
    m_content.empty = m_lines == 0;
    m_content.titleOnly = m_lines == 1;
    return std::move(m_content);
}

QStringList milkFileLines(const QByteArray &bytes)
{
    QStringList lines;
    LineSplitter splitter(
        [&](const QByteArray &line, bool) { lines << QString::fromLatin1(line); });
    splitter.feed(bytes.constData(), bytes.size());
    splitter.finish();
    return lines;
}

MilkLayout milkLayout(const Settings &settings)
{
    MilkLayout layout;
    // The reader alone takes any other setting for Delpro; the scan reads nothing then.
    const MilkFormat *format = milkFormat(settings.ImportSoftware);
    layout.format = format ? format : milkFormat(QStringLiteral("delpro"));
    layout.splitMark = settings.CsvSplitMark;
    layout.decimalMark = importDecimalMark(settings.LocaleDecimalSeparator);
    return layout;
}

MilkFileContent parseMilkFile(const QByteArray &bytes, const MilkLayout &layout)
{
    MilkLineParser parser(layout);
    LineSplitter splitter(
        [&](const QByteArray &line, bool overlong) { parser.addLine(line, overlong); });
    splitter.feed(bytes.constData(), bytes.size());
    splitter.finish();
    return parser.finish();
}

MilkFileRead readMilkFile(const QString &path, const MilkLayout &layout, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        raise(QFileInfo::exists(path) ? ErrNo::PermissionDenied : ErrNo::FileNotFound);
    MilkFileRead read;
    MilkLineParser parser(layout);
    LineSplitter splitter(
        [&](const QByteArray &line, bool overlong) { parser.addLine(line, overlong); });
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            raise(ErrNo::PermissionDenied, file.errorString());
        if (n == 0)
            break;
        read.size += n;
        if (read.size > maxBytes) {
            read.overLimit = true;
            break;
        }
        hash.addData(QByteArrayView(buffer.constData(), n));
        splitter.feed(buffer.constData(), n);
    }
    splitter.finish();
    read.content = parser.finish();
    read.hash = hash.result().toHex();
    return read;
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex();
}

MilkFileOutcome LeerDatos_CSV(AppContext &ctx, const QString &fullPath, const QString &fileName,
                              const FileBooking *booking)
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
        MilkFileRead read = readMilkFile(fullPath, layout, kMaxMilkFileBytes);
        const FileStamp stamp = booking ? booking->stamp : FileStamp::of(fullPath);
        // A file that changed since it was looked at is not finished yet.
        if (read.overLimit || read.size != stamp.size || FileStamp::of(fullPath) != stamp) {
            overlay.setVisible(false);
            return outcome;
        }
        MilkFileContent &content = read.content;
        if (content.empty) {
            overlay.setVisible(false);
            Grabar_Suceso(
                ctx, ctx.today(),
                QStringLiteral("El archivo %1 esta vacio, no se importo ninguna lectura - %2")
                    .arg(fileName, ctx.timeText()));
            outcome.state = MilkFileState::Empty;
            return outcome;
        }

        const QString source = layout.format->source();
        const QDate day = layout.format->readingDay(fileName, ctx.settings.ImportFileName,
                                                    stamp.modified().date());
        outcome.groups = std::move(content.rows);
        overlay.setValue(int(outcome.groups.size() % kProgressMaximum));
        overlay.setVisible(false);

        LocalConnection &db = ctx.db();
        Transaction transaction(db);
        if (booking) {
            // A write first: it waits for a concurrent writer, so that a file
            // another scan has just committed is found here.
            ImportBook::clearNotice(db, booking->folder, booking->name);
            if (ImportBook::find(db, booking->folder, booking->name, stamp, read.hash,
                                 &outcome.booked)) {
                outcome.state = MilkFileState::AlreadyStored;
                return outcome;
            }
        }

        qint64 readingId = 0;
        if (content.titleOnly) {
            // No line after the titles: nothing to store, now or later.
            outcome.fail(AppError(ErrNo::InputPastEnd, standardDescription(ErrNo::InputPastEnd)));
            Grabar_Suceso(ctx, ctx.today(),
                          ErrorText::inWindow(*outcome.error(), QStringLiteral("LeerDatos_CSV")) +
                              ctx.timeText());
            outcome.state = MilkFileState::NotAReading;
        } else if (content.groupLines == 0) {
            outcome.fail(AppError(ErrNo::TypeMismatch, QStringLiteral("no group line")));
            Grabar_Suceso(
                ctx, ctx.today(),
                QStringLiteral("El archivo %1 no tiene ninguna linea de grupo valida, no se "
                               "importo ninguna lectura - %2")
                    .arg(fileName, ctx.timeText()));
            outcome.state = MilkFileState::NotAReading;
        } else {
            readingId = storeReading(ctx, day, source, outcome.groups);
            if (content.leftOutCount > 0)
                Grabar_Suceso(
                    ctx, ctx.today(),
                    QStringLiteral("Lineas del archivo %1 no importadas por cabezas, litros o "
                                   "kilos de fosa faltantes o no numericos: %2 - %3")
                        .arg(fileName, leftOutText(content), ctx.timeText()));
            // A pit trip that fails is rolled back alone; the reading stays.
            outcome.take(pitFeeding(ctx, day, outcome.groups));
            requireTransactionAlive(db);
            Grabar_Suceso(
                ctx, ctx.today(),
                QStringLiteral("La importacion del archivo %1 ha sido guardada correctamente - %2")
                    .arg(fileName, ctx.timeText()));
            outcome.state = MilkFileState::Stored;
        }
        if (booking) {
            outcome.booked.id = ImportBook::record(db, *booking, read.hash, readingId);
            outcome.booked.name = booking->name;
            outcome.booked.stamp = stamp;
            outcome.booked.hash = read.hash;
            outcome.booked.finalName = booking->finalName;
            outcome.booked.pending = true;
        }
        crashPoint("commit");
        transaction.commit();
        overlay.setVisible(false);
    } catch (const AppError &error) {
        // Nothing of the file stays: the transaction is rolled back.
        outcome = MilkFileOutcome();
        if (booking && !QFileInfo::exists(fullPath))
            return outcome; // taken away, or renamed by a concurrent scan
        outcome.fail(error);
        const QString text =
            ErrorText::inWindow(error, QStringLiteral("LeerDatos_CSV")) + ctx.timeText();
        if (booking)
            noticeOnce(ctx, booking->folder, booking->name,
                       QStringLiteral("leer %1 %2 %3 %4")
                           .arg(error.number())
                           .arg(error.description())
                           .arg(booking->stamp.size)
                           .arg(booking->stamp.modifiedMs),
                       text);
        else
            logEventText(ctx, text);
    }
    return outcome;
}

} // namespace zelvano
