// The JavaScript face of the WebAssembly binding (qv_wasm.cpp), appended to
// the module's loader. After `const qv = await createQvModule()`:
//
//   qv.exportCsv(pdbBytes, options)              COMMAND:TOCSV
//   qv.exportJsonl(pdbBytes, options)            COMMAND:TOJSON
//   qv.describe(pdbBytes, options)               COMMAND:INFO
//   qv.importCsv(csvBytes, options, definitions) COMMAND:TOPDB
//   qv.identify(bytes)                           what a file is
//
// Bytes are Uint8Arrays. Each call returns
//   {status, output, extra, console}
// status: the command line's exit status (0 ok, 1 failed, 2 option refused);
// output: the CSV or JSON Lines text or the new database, as bytes;
// extra: the popup file (exportCsv with popups) or the schema (describe);
// console: the messages the command line prints after its banner.
//
// options (all optional):
//   fieldNames, placeQuotes, extraDiag: booleans
//   dateFormat (0-6), timeFormat (0-4): numbers
//   separator: one character, or "TAB"
//   encoding: "UTF-8" or "UTF-8-BOM"; absent: the handheld's bytes unchanged
//   password: text (exports, describe)
//   popups: boolean (export)
//   databaseName: text (import)
//   useExisting / schema: the name of the definitions file (import); the
//     bytes are the third argument
//   (exportJsonl heeds only password and extraDiag: JSON Lines is always
//   UTF-8 with typed values, whatever the CSV options say)
//
// identify returns instead
//   {kind, description, hint, name, records, rows, fields}
// kind: "empty", "too-short", "quorvex", "damaged-quorvex", "other-database",
//   "resource-database" or "not-palm";
// description: the command line's one line saying what the file is;
// hint: "text", "zip", "debug-symbols" or "" (what a non-database looks like);
// name: the database's name as escaped text ("" for no database);
// records, rows: the header's record count and a Quorvex database's data
//   rows; fields: a sound Quorvex database's defined fields, else -1.

Module["exportCsv"] = function (pdb, options) {
  options = options || {};
  return qvCall(function (keywords, input) {
    return Module["_qv_export_csv"](keywords, input.pointer, input.size, options.popups ? 1 : 0);
  }, options, pdb, null);
};

Module["exportJsonl"] = function (pdb, options) {
  return qvCall(function (keywords, input) {
    return Module["_qv_export_jsonl"](keywords, input.pointer, input.size);
  }, options || {}, pdb, null);
};

Module["describe"] = function (pdb, options) {
  return qvCall(function (keywords, input) {
    return Module["_qv_describe"](keywords, input.pointer, input.size);
  }, options || {}, pdb, null);
};

Module["importCsv"] = function (csv, options, definitions) {
  return qvCall(function (keywords, input, defs) {
    return Module["_qv_import_csv"](keywords, input.pointer, input.size,
                                    defs ? defs.pointer : 0, defs ? defs.size : 0);
  }, options || {}, csv, definitions || null);
};

Module["identify"] = function (bytes) {
  var result = qvCall(function (keywords, input) {
    return Module["_qv_identify"](input.pointer, input.size);
  }, {}, bytes, null);
  // The module writes ASCII only.
  var lines = new TextDecoder("utf-8").decode(result.output).split("\n");
  return {
    kind: lines[0],
    description: lines[1],
    hint: lines[2],
    name: lines[3],
    records: Number(lines[4]),
    rows: Number(lines[5]),
    fields: Number(lines[6]),
  };
};

// The options as command-line keywords, each ended by a NUL, then a NUL.
function qvKeywords(options) {
  // A brace would end or open a value early; names lose theirs.
  function value(text) { return "{" + String(text).replace(/[{}]/g, "") + "}"; }
  var words = [];
  if (options.fieldNames) words.push("FIELDNAMES");
  if (options.placeQuotes) words.push("PLACEQUOTES");
  if (options.extraDiag) words.push("EXTRADIAG");
  if (options.dateFormat !== undefined) words.push("DATEFORMAT:" + value(options.dateFormat));
  if (options.timeFormat !== undefined) words.push("TIMEFORMAT:" + value(options.timeFormat));
  if (options.separator !== undefined) words.push("SEPARATOR:" + value(options.separator));
  if (options.encoding) words.push("ENCODING:" + value(options.encoding));
  if (options.password) words.push("PASSWORD:" + value(options.password));
  if (options.databaseName !== undefined) words.push("DBNAME:" + value(options.databaseName));
  if (options.useExisting !== undefined) words.push("USEEXISTING:" + value(options.useExisting));
  if (options.schema !== undefined) words.push("SCHEMA:" + value(options.schema));
  return new TextEncoder().encode(words.map(function (w) { return w + "\0"; }).join("") + "\0");
}

// Copies `bytes` into the module's memory; the caller frees `pointer`.
function qvCopyIn(bytes) {
  var size = bytes.length;
  var pointer = Module["_malloc"](Math.max(size, 1)) >>> 0;
  if (!pointer) throw new Error("Not enough memory to load a file of " + size + " bytes.");
  HEAPU8.set(bytes, pointer);
  return {pointer: pointer, size: size};
}

// Console bytes as text: UTF-8 when they are, else the Windows Latin-1
// reading of the handheld's bytes.
function qvConsoleText(bytes) {
  try {
    return new TextDecoder("utf-8", {fatal: true}).decode(bytes);
  } catch (e) {
    return new TextDecoder("windows-1252").decode(bytes);
  }
}

function qvCall(invoke, options, input, definitions) {
  var copies = [];
  try {
    var keywords = qvCopyIn(qvKeywords(options));
    copies.push(keywords);
    var inputCopy = qvCopyIn(input);
    copies.push(inputCopy);
    var defsCopy = null;
    if (definitions) {
      defsCopy = qvCopyIn(definitions);
      copies.push(defsCopy);
    }
    var result = invoke(keywords.pointer, inputCopy, defsCopy);
    if (!result) throw new Error("Not enough memory for this conversion.");
    try {
      function slice(data, size) {
        // Addresses and sizes above 2 GiB arrive as negative numbers.
        var pointer = Module["_qv_result_" + data](result) >>> 0;
        var length = Module["_qv_result_" + size](result) >>> 0;
        return HEAPU8.slice(pointer, pointer + length);
      }
      return {
        status: Module["_qv_result_status"](result),
        output: slice("output", "output_size"),
        extra: slice("extra", "extra_size"),
        console: qvConsoleText(slice("console", "console_size")),
      };
    } finally {
      Module["_qv_result_free"](result);
    }
  } finally {
    copies.forEach(function (copy) { Module["_free"](copy.pointer); });
  }
}
