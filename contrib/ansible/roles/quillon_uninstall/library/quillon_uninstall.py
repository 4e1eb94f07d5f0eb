#!/usr/bin/python3
# Runs quillon-uninstall --yes --all-users --json on the host (as root: the
# play becomes root) and reports what its JSON document says: changed when
# something was removed, failed with the run's log when it did not succeed.
# In check mode it runs quillon-uninstall --dry-run instead, which changes
# nothing: changed when something would be removed, with the list.

from ansible.module_utils.basic import AnsibleModule
import json

DOCUMENTATION = r'''
module: quillon_uninstall
short_description: Remove Quillon with quillon-uninstall
options:
  command:
    description: Path of quillon-uninstall.
    type: path
    default: /usr/local/bin/quillon-uninstall
  keep_midi_devices:
    description: Keep the MIDI devices and their ALSA settings.
    type: bool
    default: false
'''

# Statuses of a run that did what it should.
DONE = ('removed', 'not-installed', 'unchanged', 'dry-run')


def would_remove(document):
    # Every path of the dry run's parts, with whose part it is.
    items = []
    for part in document.get('parts', []):
        for item in part.get('items', []):
            items.append(dict(kind=item.get('kind'), path=item.get('path'), user=part.get('user')))
    return items


def main():
    module = AnsibleModule(
        argument_spec=dict(
            command=dict(type='path', default='/usr/local/bin/quillon-uninstall'),
            keep_midi_devices=dict(type='bool', default=False),
        ),
        supports_check_mode=True,
    )
    argv = [module.params['command'], '--yes', '--all-users', '--json', '--no-restart']
    if module.check_mode:
        argv.append('--dry-run')
    if module.params['keep_midi_devices']:
        argv.append('--keep-midi-devices')
    rc, out, err = module.run_command(argv)
    try:
        document = json.loads(out)
    except ValueError:
        module.fail_json(msg='quillon-uninstall printed no JSON document (exit status %d): %s' % (rc, err.strip()),
                         rc=rc, stdout=out, stderr=err)
    log = document.get('log', [])
    result = dict(
        changed=bool(document.get('changed')),
        rc=rc,
        status=document.get('status'),
        message=document.get('message'),
        restart_needed=bool(document.get('restartNeeded')),
        log=log,
        removed=document.get('removed', []),
        kept=document.get('kept', []),
        refused=document.get('refused', []),
        users_not_handled=document.get('usersNotHandled', []),
        log_file=document.get('logFile'),
    )
    if module.check_mode:
        result['would_remove'] = would_remove(document)
        result['changed'] = bool(document.get('wouldChange'))
        result['users_not_handled'] = document.get('usersLeftOut', [])
    if rc != 0 or result['status'] not in DONE:
        module.fail_json(msg='quillon-uninstall %s: %s\n%s' % (result['status'], result['message'], '\n'.join(log)),
                         **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
