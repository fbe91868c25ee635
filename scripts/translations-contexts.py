#!/usr/bin/env python3
"""Names every context of a Qt Linguist file as the program names it at run time (lupdate
reads the classes without their namespace: frmMain becomes orvane::frmMain), merging
contexts of one name and keeping each text once, with its translation where one is done.
With --strip first, the other way round, so that lupdate finds its own names again.

    translations-contexts.py [--strip] FILE.ts"""
import json
import os
import sys
import tempfile
import xml.etree.ElementTree as ET

strip = sys.argv[1] == '--strip'
path = sys.argv[-1]
# The translations done before lupdate ran, by source text: lupdate leaves a text it moved
# between contexts unfinished.
memory = os.path.join(tempfile.gettempdir(), 'orvane-' + os.path.basename(path) + '.json')
tree = ET.parse(path)
root = tree.getroot()
merged = {}
order = []
for ctx in list(root.findall('context')):
    name = ctx.find('name').text
    if strip:
        name = name.removeprefix('orvane::')
    elif not name.startswith('orvane::') and (name[0].isupper() or name.startswith('frm')):
        name = 'orvane::' + name  # a class of ours; "main" is main()'s own
    if name not in merged:
        merged[name] = {}
        order.append(name)
    for m in ctx.findall('message'):
        src = m.find('source').text
        old = merged[name].get(src)
        done = m.find('translation').get('type') != 'unfinished'
        if old is None or (done and old.find('translation').get('type') == 'unfinished'):
            merged[name][src] = m
    root.remove(ctx)
# A text lupdate moved between a context and its namespaced name comes back unfinished
# with the translation it had: finished again where that translation was done elsewhere.
done = {}
if not strip and os.path.exists(memory):
    with open(memory, encoding='utf-8') as f:
        done = json.load(f)
for messages in merged.values():
    for src, m in messages.items():
        t = m.find('translation')
        if t.get('type') != 'unfinished' and t.text:
            done.setdefault(src, t.text)
for messages in merged.values():
    for src, m in messages.items():
        t = m.find('translation')
        if t.get('type') == 'unfinished' and t.text and done.get(src) == t.text:
            del t.attrib['type']
for name in sorted(order):
    ctx = ET.SubElement(root, 'context')
    ET.SubElement(ctx, 'name').text = name
    for m in merged[name].values():
        ctx.append(m)
if strip:
    with open(memory, 'w', encoding='utf-8') as f:
        json.dump(done, f)
elif os.path.exists(memory):
    os.remove(memory)
ET.indent(tree, space='    ')
tree.write(path, encoding='utf-8', xml_declaration=True)
