'use strict';
// The offsets-only parse of dicomParser (npm package dicom-parser), for the benchmarks: the file
// is read into memory and parsed into elements that record where their values lie; no value is
// converted.
//
//   node dicomparser_offsets.js FILE          parse, print nothing
//   node dicomparser_offsets.js --count FILE  parse, then print how many nodes the parse found:
//                                             elements, items, offset table and fragments
//
// The package is looked up through NODE_PATH (scripts/bench.py installs it under build/).
const fs = require('fs');
const dicomParser = require('dicom-parser');

// An item that ends with a delimiter keeps the delimiter among its elements; it is no node.
function countNodes(dataSet) {
  let nodes = 0;
  for (const tag of Object.keys(dataSet.elements)) {
    if (tag === 'xfffee00d') continue;
    const element = dataSet.elements[tag];
    nodes += 1;
    if (element.items) {
      for (const item of element.items) nodes += 1 + (item.dataSet ? countNodes(item.dataSet) : 0);
    }
    if (element.fragments) nodes += 1 + element.fragments.length;
  }
  return nodes;
}

const args = process.argv.slice(2);
const count = args.length === 2 && args[0] === '--count';
if (args.length !== (count ? 2 : 1)) {
  process.stderr.write('usage: node dicomparser_offsets.js [--count] FILE\n');
  process.exit(2);
}
const bytes = fs.readFileSync(args[args.length - 1]);
const dataSet = dicomParser.parseDicom(new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.length));
if (count) process.stdout.write(countNodes(dataSet) + '\n');
