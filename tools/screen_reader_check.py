"""The half of tools/screen-reader-check that speaks AT-SPI; see there."""
import sys
import time
import warnings

import gi

gi.require_version('Atspi', '2.0')
from gi.repository import Atspi  # noqa: E402

# Some of the calls below are deprecated in newer libatspi; Debian 12's has no other.
warnings.simplefilter('ignore', DeprecationWarning)

saved_path, seconds = sys.argv[1], float(sys.argv[2])


def find(node, wanted, depth=0):
    if node is None or depth > 40:
        return None
    if wanted(node):
        return node
    for i in range(node.get_child_count()):
        found = find(node.get_child_at_index(i), wanted, depth + 1)
        if found:
            return found
    return None


def named(name, role=None):
    return lambda n: n.get_name() == name and (role is None or n.get_role_name() == role)


def press(node):
    # A click that opens a modal dialog answers only when the dialog closes.
    try:
        node.get_action_iface().do_action(0)
    except gi.repository.GLib.GError:
        pass


def dialog_of(app):
    for _ in range(30):
        for i in range(app.get_child_count()):
            window = app.get_child_at_index(i)
            if window.get_role_name() in ('dialog', 'alert'):
                return window
        time.sleep(0.2)
    sys.exit('no dialog came up')


def table_rows(table):
    t = table.get_table_iface()
    return ['\t'.join(t.get_accessible_at(r, c).get_name() for c in range(t.get_n_columns()))
            for r in range(t.get_n_rows())]


Atspi.set_timeout(1500, 15000)
desktop = Atspi.get_desktop(0)
app = None
for _ in range(100):
    app = find(desktop, lambda n: 'halvern' in (n.get_name() or '') and n.get_role_name() == 'application')
    if app:
        break
    time.sleep(0.2)
if not app:
    sys.exit('the program did not reach the accessibility bus')

connection = find(app, named('COM Connection'))
press(connection)
time.sleep(seconds)
table = find(app, lambda n: n.get_role_name() == 'table')
t = table.get_table_iface()
print(f'table "{table.get_name()}": {t.get_n_rows()} rows, columns',
      [t.get_column_header(c).get_name() for c in range(t.get_n_columns())])
for row in table_rows(table)[-3:]:
    print('  ', row.replace('\t', ' | '))
print('selected rows', t.get_selected_rows())
lcd = find(app, named('Meter display'))
print(f'{lcd.get_role_name()} "{lcd.get_name()}": {lcd.get_description()}')
chart = find(app, named('Trend chart'))
print(f'{chart.get_role_name()} "{chart.get_name()}": {chart.get_description()}')

press(connection)
time.sleep(1)
shown = table_rows(table)
press(find(app, named('Save data files')))
dialog = dialog_of(app)
find(dialog, named('File name:', 'text')).get_editable_text_iface().set_text_contents(saved_path)
press(find(dialog, named('Save', 'push button')))
time.sleep(1)
message = dialog_of(app)
print('message:', ' '.join(filter(None, (message.get_child_at_index(i).get_name()
                                         for i in range(message.get_child_count())))))
press(find(message, lambda n: n.get_role_name() == 'push button'))

with open(saved_path, encoding='latin-1', newline='') as f:
    saved = [line for line in f.read().split('\r\n')[1:] if line]
if saved != shown:
    sys.exit(f'the grid read {len(shown)} rows, the save wrote {len(saved)}, and they differ')
print(f'{len(shown)} rows read over AT-SPI equal the rows the save wrote')
