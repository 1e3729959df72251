<?php
// Stand-in for the farms' server script: runs the request body as one SQL
// statement on qk_zr. Rows answer as a JSON array of flat objects, a
// statement without rows as {"affected_rows": n, "insert_id": n}, a failure
// as status 500 with the error text.
//
// Open by default: it runs any statement for anybody, as the program's
// original server does. With the environment variable ZELVANO_SERVER_STRICT=1
// it is fit for a deployment behind TLS: every request must carry HTTP Basic
// credentials (the farm's id and password, checked against clientes; else
// 401), and only the program's own statements run, each bound to that farm
// (allowlist.php; anything else 403, no rows).
mysqli_report(MYSQLI_REPORT_OFF);

function answer_text($status, $text, $headers = [])
{
    http_response_code($status);
    header('Content-Type: text/plain; charset=utf-8');
    foreach ($headers as $h)
        header($h);
    echo $text;
    exit;
}

// [user, password] of the request's Basic credentials, or null.
function basic_credentials()
{
    if (isset($_SERVER['PHP_AUTH_USER']))
        return [$_SERVER['PHP_AUTH_USER'], $_SERVER['PHP_AUTH_PW'] ?? ''];
    $h = $_SERVER['HTTP_AUTHORIZATION'] ?? ($_SERVER['REDIRECT_HTTP_AUTHORIZATION'] ?? '');
    if (strncasecmp($h, 'Basic ', 6) !== 0)
        return null;
    $decoded = base64_decode(trim(substr($h, 6)), true);
    if ($decoded === false || strpos($decoded, ':') === false)
        return null;
    return explode(':', $decoded, 2);
}

function row_exists($db, $sql, ...$values)
{
    $st = mysqli_prepare($db, $sql);
    if (!$st)
        return false;
    mysqli_stmt_bind_param($st, str_repeat('s', count($values)), ...$values);
    $found = mysqli_stmt_execute($st) && mysqli_stmt_fetch($st) === true;
    mysqli_stmt_close($st);
    return $found;
}

// The farm whose id and password the request carries; 401 otherwise.
function strict_farm($db)
{
    $refuse = fn() => answer_text(401, 'credentials required',
                                  ['WWW-Authenticate: Basic realm="vremoto", charset="UTF-8"']);
    $credentials = basic_credentials();
    if ($credentials === null || !preg_match('/^\s*(\d{1,18})\s*$/D', $credentials[0], $m))
        $refuse();
    $st = mysqli_prepare($db, 'select password from clientes where id = ?');
    if (!$st)
        answer_text(500, 'login: ' . mysqli_error($db));
    $id = $m[1];
    mysqli_stmt_bind_param($st, 's', $id);
    $stored = null;
    mysqli_stmt_bind_result($st, $stored);
    $found = mysqli_stmt_execute($st) && mysqli_stmt_fetch($st) === true;
    mysqli_stmt_close($st);
    if (!$found || !is_string($stored) || !hash_equals($stored, $credentials[1]))
        $refuse();
    return (string)(int)$id;
}

const PLACEHOLDERS = [
    'farm' => '-?\d{1,18}',
    'trip' => '-?\d{1,18}',
    'record' => '-?\d{1,18}',
    'record?' => '-?\d{1,18}',
    'int' => '-?\d{1,18}',
    'ints' => '-?\d{1,18}(?:,-?\d{1,18})*+',
    'date' => "'\\d{8}'",
    // Possessive, as SQL reads a text: each "''" or "\\" pair is taken as it
    // comes, and the text ends at the first apostrophe left alone.
    'text' => "'(?:[^'\\\\]++|''|\\\\\\\\)*+'",
];

// The regular expression of a shape: each placeholder one capture, {rows}
// any text (row_values() reads it row by row: one expression over thousands
// of rows would exhaust the matcher's stack); $kinds gets the placeholders in
// order.
function shape_regex($shape, &$kinds)
{
    $kinds = [];
    $re = '';
    $parts = preg_split('/(\{[a-z?]+\})/', $shape, -1, PREG_SPLIT_DELIM_CAPTURE);
    foreach ($parts as $i => $part) {
        if ($i % 2 === 0) {
            $words = explode(' ', $part);
            $re .= implode('\s+', array_map(fn($w) => preg_quote($w, '/'), $words));
            continue;
        }
        $name = substr($part, 1, -1);
        $re .= '(' . ($name === 'rows' ? '.+' : PLACEHOLDERS[$name]) . ')';
        $kinds[] = $name;
    }
    return $re;
}

// The placeholders' [kind, value] of every row of a {rows} text, rows
// separated by commas (blanks after the last one allowed); null when the
// text is not such a list.
function row_values($row, $text)
{
    $text = rtrim($text, " \t\n\r\v\f");
    $kinds = [];
    $re = '/\G' . shape_regex($row, $kinds) . '/s';
    $values = [];
    for ($at = 0;;) {
        if (preg_match($re, $text, $r, 0, $at) !== 1)
            return null;
        foreach ($kinds as $j => $kind)
            $values[] = [$kind, $r[$j + 1]];
        $at += strlen($r[0]);
        if ($at === strlen($text))
            return $values;
        if ($text[$at] !== ',')
            return null;
        ++$at;
    }
}

function value_bound($db, $kind, $value, $farm)
{
    switch ($kind) {
    case 'farm':
        return (string)(int)$value === $farm;
    case 'trip':
        return row_exists($db, 'select 1 from lectura_viajes_feed where id_viaje = ? and cliente = ?',
                          $value, $farm);
    case 'record':
        return row_exists($db, 'select 1 from cabezas_produccion where id = ? and cliente = ?',
                          $value, $farm);
    case 'record?':
        return value_bound($db, 'record', $value, $farm) ||
               !row_exists($db, 'select 1 from cabezas_produccion where id = ?', $value);
    default:
        return true;
    }
}

// True when the statement has one of the allow-list's shapes with every
// value bound to the farm.
function statement_allowed($db, $sql, $farm)
{
    foreach (require __DIR__ . '/allowlist.php' as $entry) {
        $kinds = [];
        $re = '/^\s*' . shape_regex($entry['shape'], $kinds) . '\s*\z/s';
        if (preg_match($re, $sql, $m) !== 1)
            continue;
        $values = [];
        foreach ($kinds as $i => $kind) {
            if ($kind !== 'rows') {
                $values[] = [$kind, $m[$i + 1]];
                continue;
            }
            $rows = row_values($entry['row'], $m[$i + 1]);
            if ($rows === null)
                return false;
            $values = array_merge($values, $rows);
        }
        // Each value once: thousands of detail rows name a handful of records.
        $checked = [];
        foreach ($values as [$kind, $value]) {
            if (isset($checked[$kind . ' ' . $value]))
                continue;
            if (!value_bound($db, $kind, $value, $farm))
                return false;
            $checked[$kind . ' ' . $value] = true;
        }
        return true;
    }
    return false;
}

$sql = file_get_contents('php://input');
$port = intval(getenv('ZELVANO_DB_PORT') ?: '3306');
$db = mysqli_connect('127.0.0.1', 'qk', 'qbk$4630', 'qk_zr', $port);
if (!$db) {
    http_response_code(500);
    header('Content-Type: text/plain; charset=utf-8');
    echo 'connect: ' . mysqli_connect_error();
    exit;
}
mysqli_set_charset($db, 'utf8mb4');

if (getenv('ZELVANO_SERVER_STRICT') === '1') {
    $farm = strict_farm($db);
    if ($sql === false || !statement_allowed($db, $sql, $farm)) {
        error_log('vremoto: statement refused for farm ' . $farm);
        answer_text(403, 'statement not allowed');
    }
}

if ($sql === false || trim($sql) === '') {
    http_response_code(500);
    header('Content-Type: text/plain; charset=utf-8');
    echo 'empty statement';
    exit;
}

$result = mysqli_query($db, $sql);
if ($result === false) {
    http_response_code(500);
    header('Content-Type: text/plain; charset=utf-8');
    echo mysqli_error($db);
    exit;
}

header('Content-Type: application/json; charset=utf-8');
if ($result === true) {
    echo json_encode(['affected_rows' => mysqli_affected_rows($db),
                      'insert_id' => mysqli_insert_id($db)]);
    exit;
}

// Streamed row by row so that big answers do not build one huge array.
echo '[';
$first = true;
while ($row = mysqli_fetch_assoc($result)) {
    if (!$first)
        echo ',';
    echo json_encode($row, JSON_UNESCAPED_UNICODE);
    $first = false;
}
echo ']';
mysqli_free_result($result);
