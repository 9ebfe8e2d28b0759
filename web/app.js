// The page's behaviour: takes files from the pickers or a drop, runs the
// conversions of the WebAssembly module (qv_wasm.js) on them, shows the
// outcome and offers the results for download. Nothing leaves the page.
"use strict";

(function () {
  const $ = (id) => document.getElementById(id);
  const statusLine = $("status");
  const resultsList = $("results");
  const template = $("item-template");
  const PREVIEW_ROWS = 10;

  let qv = null;          // the module, once loaded
  const items = [];       // one per file added: see addItem

  // --- small helpers ----------------------------------------------------

  function setStatus(text) { statusLine.textContent = text; }

  function baseName(name) {
    const slash = name.lastIndexOf("/");
    const file = slash >= 0 ? name.slice(slash + 1) : name;
    const dot = file.lastIndexOf(".");
    return dot > 0 ? file.slice(0, dot) : file;
  }

  // The text of bytes written in the chosen characters: UTF-8 (a byte-order
  // mark dropped), or the handheld's own bytes read as Windows Latin-1.
  function decode(bytes, encoding) {
    return new TextDecoder(encoding ? "utf-8" : "windows-1252").decode(bytes);
  }

  function download(name, bytes, type) {
    const url = URL.createObjectURL(new Blob([bytes], {type: type}));
    const link = document.createElement("a");
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  function button(text, action) {
    const b = document.createElement("button");
    b.type = "button";
    b.textContent = text;
    b.addEventListener("click", action);
    return b;
  }

  // The first message after "ERROR:" in the command line's console text.
  function firstError(consoleText) {
    const at = consoleText.indexOf("ERROR:\n");
    if (at < 0) return "";
    return consoleText.slice(at + 7).split("\n\n\n")[0].trim();
  }

  // The outcome in plain words; the command line's own wording stays in
  // the Messages box.
  function plainOutcome(result, what) {
    if (result.status === 0) return "";
    const reason = firstError(result.console);
    if (result.status === 2) return "A setting was not accepted: " + reason;
    return what + " did not succeed" + (reason ? ": " + reason : ".") +
        " The full messages are below.";
  }

  // Messages other than the usual progress lines are worth opening.
  function hasNews(consoleText) {
    const usual = /^(Converting to (\.CSV|\.PDB|JSON Lines)\.\.\.|Conversion Successful!|)$/;
    return consoleText.split("\n").some((line) => !usual.test(line));
  }

  function showMessages(item, consoleText) {
    const box = item.node.querySelector(".messages");
    box.hidden = consoleText.trim() === "";
    box.querySelector("pre").textContent = consoleText.replace(/\n{3,}/g, "\n\n").trim();
    box.open = hasNews(consoleText);
  }

  // --- options ----------------------------------------------------------

  function jsonChosen() { return $("format").value === "jsonl"; }

  // JSON Lines has one fixed form: the CSV settings are greyed out and a
  // note says why (they still apply to CSV files read for a database).
  function showFormat() {
    $("csv-settings").disabled = jsonChosen();
    $("format-note").hidden = !jsonChosen();
  }

  function csvOptions() {
    return {
      fieldNames: $("fieldNames").checked,
      placeQuotes: $("placeQuotes").checked,
      dateFormat: Number($("dateFormat").value),
      timeFormat: Number($("timeFormat").value),
      separator: $("separator").value,
      encoding: $("encoding").value,
      password: $("password").value,
    };
  }

  // --- CSV preview ------------------------------------------------------

  // Up to `limit` complete lines of CSV text, each a list of values.
  function parseCsv(text, separator, limit) {
    const rows = [];
    let row = [], value = "", quoted = false, i = 0;
    while (i < text.length && rows.length < limit) {
      const c = text[i];
      if (quoted) {
        if (c === '"' && text[i + 1] === '"') { value += '"'; i += 2; continue; }
        if (c === '"') quoted = false; else value += c;
        i += 1;
        continue;
      }
      if (c === '"') quoted = true;
      else if (c === separator) { row.push(value); value = ""; }
      else if (c === "\n" || c === "\r") {
        row.push(value); rows.push(row); row = []; value = "";
        if (c === "\r" && text[i + 1] === "\n") i += 1;
      } else value += c;
      i += 1;
    }
    return rows;
  }

  // Up to `limit` complete lines of JSON Lines text: the keys of the first
  // object as the header, then each object's values as a row.
  function parseJsonLines(text, limit) {
    const lines = text.split("\n").slice(0, -1).slice(0, limit);
    const objects = lines.map((line) => JSON.parse(line));
    const head = objects.length > 0 ? Object.keys(objects[0]) : [];
    return [head, ...objects.map((o) => head.map((key) => o[key]))];
  }

  // The first rows of an export as a table; null values (JSON's "no value")
  // are shown as such.
  function renderPreview(item, bytes, options, json) {
    const box = item.node.querySelector(".preview");
    box.replaceChildren();
    // A preview needs only the start of a large export.
    const start = bytes.subarray(0, 1 << 18);
    let rows;
    if (json) {
      rows = parseJsonLines(new TextDecoder("utf-8").decode(start), PREVIEW_ROWS);
    } else {
      const separator = options.separator === "TAB" ? "\t" : options.separator;
      rows = parseCsv(decode(start, options.encoding), separator,
                      PREVIEW_ROWS + (options.fieldNames ? 1 : 0));
    }
    const named = json || options.fieldNames;
    const table = document.createElement("table");
    const caption = document.createElement("caption");
    caption.textContent = "The first rows";
    table.append(caption);
    const width = rows.reduce((w, r) => Math.max(w, r.length), 0);
    const head = named ? rows.shift() :
        Array.from({length: width}, (_, i) => "Column " + (i + 1));
    const headRow = table.createTHead().insertRow();
    for (const name of head || []) {
      const th = document.createElement("th");
      th.scope = "col";
      th.textContent = name;
      headRow.append(th);
    }
    const body = table.createTBody();
    for (const r of rows) {
      const tr = body.insertRow();
      for (const v of r) {
        const cell = tr.insertCell();
        cell.textContent = v === null ? "null" : String(v);
        if (v === null) cell.className = "null";
      }
    }
    box.append(table);
    box.hidden = false;
    box.tabIndex = 0;  // scrollable by keyboard on narrow screens
  }

  // --- databases --------------------------------------------------------

  // What the file is, from its bytes as the command line identifies it
  // (qv.identify), whatever its name: "database" for a Quorvex database,
  // sound or damaged, which is offered for export; "csv" for any other text,
  // offered to build a database from; "other" for everything else, which is
  // only described.
  function identify(item) {
    item.identity = qv.identify(item.bytes);
    const id = item.identity;
    if (id.kind === "quorvex" || id.kind === "damaged-quorvex") return "database";
    if (id.hint === "text") return "csv";
    return "other";
  }

  // The command line's description of the file as a sentence.
  function identitySentence(id) {
    return "This is " + id.description + ".";
  }

  function counted(n, word) {
    return n.toLocaleString("en") + " " + word + (n === 1 ? "" : "s");
  }

  // Fills in the kind line and the description box of a database; false
  // when it cannot be read (damaged, or refused by INFO).
  function describeDatabase(item) {
    const id = item.identity;
    const kind = item.node.querySelector(".kind");
    const info = item.node.querySelector(".info");
    item.title = id.name;
    info.hidden = true;
    if (id.kind !== "quorvex") {
      kind.textContent = identitySentence(id) + " It cannot be converted as it is.";
      return false;
    }
    kind.textContent = "Quorvex database \u201c" + id.name + "\u201d: " + counted(id.rows, "row") +
        (id.fields >= 0 ? ", " + counted(id.fields, "field") : "") + ".";
    const result = qv.describe(item.bytes, {password: $("password").value});
    if (result.status !== 0) {
      kind.textContent += " It cannot be read: " + firstError(result.console);
      return false;
    }
    info.hidden = false;
    info.querySelector("pre").textContent = result.console.trim();
    return true;
  }

  // A file that is neither a Quorvex database nor text, described in plain
  // words; there is nothing to convert.
  function describeOther(item) {
    const id = item.identity;
    let text = identitySentence(id);
    if (id.kind === "other-database" || id.kind === "resource-database") {
      text += " Only Quorvex databases can be converted here.";
    } else {
      text += " There is nothing in it to convert.";
    }
    item.node.querySelector(".kind").textContent = text;
    item.node.dataset.state = "described";
  }

  // The export in the chosen format: CSV with its settings, or JSON Lines,
  // which takes only the password.
  function runExport(item) {
    if (jsonChosen()) return qv.exportJsonl(item.bytes, {password: $("password").value});
    return qv.exportCsv(item.bytes, csvOptions());
  }

  function exportDatabase(item) {
    const options = csvOptions();
    const json = jsonChosen();
    const format = json ? {what: "JSON Lines", suffix: ".jsonl", type: "application/jsonl"}
                        : {what: "CSV", suffix: ".csv", type: "text/csv"};
    const started = performance.now();
    const result = runExport(item);
    const ms = performance.now() - started;
    const outcome = item.node.querySelector(".outcome");
    const downloads = item.node.querySelector(".downloads");
    downloads.replaceChildren();
    showMessages(item, result.console);
    item.result = null;
    if (result.status === 0 || result.output.length > 0) {
      item.result = {name: baseName(item.file.name) + format.suffix, bytes: result.output,
                     type: format.type};
      renderPreview(item, result.output, options, json);
      downloads.append(button("Download " + item.result.name,
                              () => download(item.result.name, item.result.bytes, format.type)));
    } else {
      item.node.querySelector(".preview").hidden = true;
    }
    outcome.textContent = result.status === 0
        ? "Converted " + result.output.length.toLocaleString("en") + " bytes of " + format.what +
          " in " + Math.round(ms) + " ms."
        : plainOutcome(result, "The conversion");
    outcome.className = "outcome " + (result.status === 0 ? "ok" : "bad");
    item.node.dataset.state = result.status === 0 ? "done" : "failed";
    item.node.dataset.ms = ms.toFixed(1);
  }

  function convertDatabase(item) {
    if (describeDatabase(item)) {
      exportDatabase(item);
    } else {
      const outcome = item.node.querySelector(".outcome");
      const result = runExport(item);
      showMessages(item, result.console);
      outcome.textContent = plainOutcome(result, "Reading this database");
      outcome.className = "outcome bad";
      item.node.dataset.state = "failed";
    }
    updateDownloadAll();
  }

  // --- CSV to database --------------------------------------------------

  // The choices of definitions for a CSV: inferred, any database added, or
  // any other CSV taken as a schema file.
  function fillDefinitions(item) {
    const select = item.definitions;
    const chosen = select.value;
    select.replaceChildren(new Option("None: infer them (every column becomes text)", ""));
    items.forEach((other, index) => {
      if (other === item || (other.kind !== "database" && other.kind !== "csv")) return;
      const label = other.kind === "database"
          ? "Fields, settings and popup lists of " + other.file.name
          : "Schema file " + other.file.name;
      select.append(new Option(label, String(index)));
    });
    select.value = [...select.options].some((o) => o.value === chosen) ? chosen : "";
  }

  function buildDatabase(item) {
    const options = csvOptions();
    const importOptions = {
      fieldNames: item.fieldNames.checked,
      dateFormat: options.dateFormat,
      timeFormat: options.timeFormat,
      separator: options.separator,
      encoding: options.encoding,
      databaseName: item.dbName.value,
    };
    let definitions = null;
    if (item.definitions.value !== "") {
      const source = items[Number(item.definitions.value)];
      definitions = source.bytes;
      if (source.kind === "database") importOptions.useExisting = source.file.name;
      else importOptions.schema = source.file.name;
    }
    const result = qv.importCsv(item.bytes, importOptions, definitions);
    showMessages(item, result.console);
    const outcome = item.node.querySelector(".outcome");
    const downloads = item.node.querySelector(".downloads");
    downloads.replaceChildren();
    item.result = null;
    if (result.status === 0) {
      item.result = {name: baseName(item.file.name) + ".pdb", bytes: result.output,
                     type: "application/octet-stream"};
      downloads.append(button("Download " + item.result.name, () =>
          download(item.result.name, item.result.bytes, "application/octet-stream")));
      outcome.textContent = "Built a database of " +
          result.output.length.toLocaleString("en") + " bytes." +
          (hasNews(result.console) ? " See the messages below." : "");
    } else {
      outcome.textContent = plainOutcome(result, "Building the database");
    }
    outcome.className = "outcome " + (result.status === 0 ? "ok" : "bad");
    item.node.dataset.state = result.status === 0 ? "done" : "failed";
    updateDownloadAll();
  }

  function setUpCsvItem(item) {
    const controls = item.node.querySelector(".controls");
    item.node.querySelector(".kind").textContent = identitySentence(item.identity) +
        " It is offered as CSV text, to build a database from.";
    const id = "item" + items.indexOf(item);
    controls.innerHTML =
        '<label>Database name on the handheld <input maxlength="31" required></label>' +
        '<label class="check"><input type="checkbox" checked> First line holds field names</label>' +
        "<label>Field definitions <select></select></label>";
    [item.dbName, item.fieldNames, item.definitions] = controls.querySelectorAll("input, select");
    item.dbName.id = id + "-name";
    item.dbName.value = baseName(item.file.name).slice(0, 31);
    item.definitions.id = id + "-definitions";
    controls.append(button("Build the database", () => guarded(item, () => buildDatabase(item))));
    fillDefinitions(item);
  }

  // Runs a conversion; if the module fails underneath it (out of memory
  // while loading a file, or a fault), says so and starts a fresh module.
  function guarded(item, action) {
    try {
      action();
    } catch (e) {
      const outcome = item.node.querySelector(".outcome");
      outcome.textContent = "The converter stopped unexpectedly (" + e.message +
          "). It is being restarted; try again in a moment.";
      outcome.className = "outcome bad";
      item.node.dataset.state = "failed";
      qv = null;
      createQvModule().then((module) => { qv = module; });
    }
  }

  // --- files ------------------------------------------------------------

  async function addItem(file) {
    const node = template.content.firstElementChild.cloneNode(true);
    const item = {file: file, node: node, bytes: null, kind: null, result: null};
    node.querySelector(".name").textContent = file.webkitRelativePath || file.name;
    resultsList.append(node);
    items.push(item);
    $("empty").hidden = true;
    try {
      item.bytes = new Uint8Array(await file.arrayBuffer());
    } catch (e) {
      node.querySelector(".kind").textContent = "This file could not be read.";
      item.kind = "unreadable";
      return;
    }
    guarded(item, () => {
      item.kind = identify(item);
      node.dataset.kind = item.kind;
      if (item.kind === "database") convertDatabase(item);
      else if (item.kind === "csv") setUpCsvItem(item);
      else describeOther(item);
    });
  }

  async function addFiles(files) {
    if (!qv) { setStatus("Still loading the converter; try again in a moment."); return; }
    const list = [...files].filter((f) => !f.name.startsWith("."));
    setStatus("Reading " + list.length + (list.length === 1 ? " file..." : " files..."));
    for (const file of list) await addItem(file);
    for (const item of items) if (item.definitions) fillDefinitions(item);
    setStatus("Added " + list.length + (list.length === 1 ? " file." : " files."));
  }

  // Files and, for folders dropped, everything inside them.
  async function droppedFiles(dataTransfer) {
    const entries = [...dataTransfer.items].map((i) => i.webkitGetAsEntry && i.webkitGetAsEntry())
        .filter(Boolean);
    if (entries.length === 0) return [...dataTransfer.files];
    const out = [];
    async function walk(entry) {
      if (entry.isFile) {
        out.push(await new Promise((ok, fail) => entry.file(ok, fail)));
      } else if (entry.isDirectory) {
        const reader = entry.createReader();
        for (;;) {
          const batch = await new Promise((ok, fail) => reader.readEntries(ok, fail));
          if (batch.length === 0) break;
          for (const child of batch) await walk(child);
        }
      }
    }
    for (const entry of entries) await walk(entry);
    return out;
  }

  // --- download all -----------------------------------------------------

  const crcTable = Array.from({length: 256}, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  function crc32(bytes) {
    let c = 0xffffffff;
    for (let i = 0; i < bytes.length; i++) c = crcTable[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  }

  // A ZIP archive that stores the files uncompressed (each under 4 GiB).
  function makeZip(files) {
    const parts = [], central = [];
    let offset = 0;
    const header = (size) => { const b = new DataView(new ArrayBuffer(size)); return b; };
    for (const f of files) {
      const name = new TextEncoder().encode(f.name);
      const crc = crc32(f.bytes);
      const local = header(30);
      [[0, 0x04034b50, 4], [4, 20, 2], [6, 0x0800, 2], [8, 0, 2], [10, 0, 2], [12, 0x21, 2],
       [14, crc, 4], [18, f.bytes.length, 4], [22, f.bytes.length, 4], [26, name.length, 2],
       [28, 0, 2]].forEach(([at, v, n]) => n === 4 ? local.setUint32(at, v, true)
                                                   : local.setUint16(at, v, true));
      const entry = header(46);
      [[0, 0x02014b50, 4], [4, 20, 2], [6, 20, 2], [8, 0x0800, 2], [10, 0, 2], [12, 0, 2],
       [14, 0x21, 2], [16, crc, 4], [20, f.bytes.length, 4], [24, f.bytes.length, 4],
       [28, name.length, 2], [42, offset, 4]].forEach(([at, v, n]) =>
          n === 4 ? entry.setUint32(at, v, true) : entry.setUint16(at, v, true));
      parts.push(local, name, f.bytes);
      central.push(entry, name);
      offset += 30 + name.length + f.bytes.length;
    }
    const size = central.reduce((s, p) => s + p.byteLength, 0);
    const end = header(22);
    end.setUint32(0, 0x06054b50, true);
    end.setUint16(8, files.length, true);
    end.setUint16(10, files.length, true);
    end.setUint32(12, size, true);
    end.setUint32(16, offset, true);
    return new Blob([...parts, ...central, end], {type: "application/zip"});
  }

  function updateDownloadAll() {
    const done = items.filter((i) => i.result);
    $("downloadAll").hidden = done.length < 2;
  }

  $("downloadAll").addEventListener("click", () => {
    const seen = new Map();
    const files = items.filter((i) => i.result).map((i) => {
      let name = i.result.name;
      const count = seen.get(name) || 0;
      seen.set(name, count + 1);
      if (count > 0) name = baseName(name) + " (" + (count + 1) + ")" + name.slice(name.lastIndexOf("."));
      return {name: name, bytes: i.result.bytes};
    });
    const url = URL.createObjectURL(makeZip(files));
    const link = document.createElement("a");
    link.href = url;
    link.download = "qv-results.zip";
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  });

  // --- wiring -----------------------------------------------------------

  $("files").addEventListener("change", (e) => { addFiles(e.target.files); e.target.value = ""; });
  $("folder").addEventListener("change", (e) => { addFiles(e.target.files); e.target.value = ""; });
  const drop = $("drop");
  drop.addEventListener("dragover", (e) => { e.preventDefault(); drop.classList.add("over"); });
  drop.addEventListener("dragleave", () => drop.classList.remove("over"));
  drop.addEventListener("drop", async (e) => {
    e.preventDefault();
    drop.classList.remove("over");
    addFiles(await droppedFiles(e.dataTransfer));
  });
  // A file dropped beside the zone must not make the browser open it.
  window.addEventListener("dragover", (e) => e.preventDefault());
  window.addEventListener("drop", (e) => e.preventDefault());

  // New options apply to every database at once.
  $("options").addEventListener("change", () => {
    showFormat();
    if (!qv) return;
    for (const item of items) {
      if (item.kind === "database") guarded(item, () => convertDatabase(item));
    }
  });
  $("options").addEventListener("submit", (e) => e.preventDefault());
  showFormat();  // a reload may have kept the format chosen before

  createQvModule().then((module) => {
    qv = module;
    setStatus("Ready: add files to convert.");
    document.body.dataset.ready = "yes";
  }, () => {
    setStatus("The converter could not be loaded. This page needs a browser with WebAssembly.");
  });
})();
