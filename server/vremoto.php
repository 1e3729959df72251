<?php
// Stand-in for the farms' server script: runs the request body as one SQL
// statement on qk_zr. Rows answer as a JSON array of flat objects, a
// statement without rows as {"affected_rows": n, "insert_id": n}, a failure
// as status 500 with the error text.
mysqli_report(MYSQLI_REPORT_OFF);

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
